# The Windows tests run under 64-bit Wine, in a prefix of the build's own, on a
# virtual display. A fixture starts that session before the first of them and
# stops it after the last; they take turns, since they share the prefix.

set(SFX_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
# Every test program added after this line runs through wine-run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run ${SFX_WINE_STATE})

add_test(NAME wine_session_start COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session start ${SFX_WINE_STATE})
add_test(NAME wine_session_stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session stop ${SFX_WINE_STATE})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Registers each TEST of a Windows test program as a test of its own, in its
# own process, inside the Wine session.
function(sfx_add_wine_test target)
    target_link_libraries(${target} PRIVATE gtest_main)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    gtest_add_tests(TARGET ${target} TEST_LIST tests)
    set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine_prefix TIMEOUT 60)
endfunction()
