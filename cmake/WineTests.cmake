# The Windows tests run under Wine, in a prefix of the build's own, on a
# virtual display. A fixture starts that session before the first of them and
# stops it after the last; they take turns, since they share the prefix. A
# 32-bit build's session is for 32-bit programs: where this machine runs none,
# the session and every test say why and count as skipped (exit code 77).

set(SFX_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
math(EXPR SFX_WINE_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
# Every test program added after this line runs through wine-run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run ${SFX_WINE_STATE})

add_test(NAME wine_session_start
         COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session start ${SFX_WINE_STATE} ${SFX_WINE_BITS})
add_test(NAME wine_session_stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session stop ${SFX_WINE_STATE})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 600 SKIP_RETURN_CODE 77)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine SKIP_RETURN_CODE 77)

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Registers each TEST of a Windows test program as a test of its own, in its
# own process, inside the Wine session.
function(sfx_add_wine_test target)
    target_link_libraries(${target} PRIVATE gtest_main)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    gtest_add_tests(TARGET ${target} TEST_LIST tests)
    set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine_prefix TIMEOUT 60
                         SKIP_RETURN_CODE 77)
endfunction()

# Registers a shell test that runs Windows programs in the session.
function(sfx_add_wine_script_test name timeout)
    add_test(NAME ${name} COMMAND bash ${ARGN})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine_prefix TIMEOUT ${timeout}
                         SKIP_RETURN_CODE 77)
endfunction()
