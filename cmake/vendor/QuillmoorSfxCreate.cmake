# Makes an installer and checks it, so that a build never keeps one that
# sfxpack's own verify refuses:
#   cmake -P QuillmoorSfxCreate.cmake -- STAMP SFXPACK OUTPUT WHERE CREATE-OPTIONS... -- FILES...
# writes STAMP, naming OUTPUT, once the installer is made and verified, so
# that a build that failed, or whose OUTPUT some other rule of the build
# wrote, runs this again. Included, it gives the function
# quillmoor_sfx_create_and_verify().
include_guard(GLOBAL)

# quillmoor_sfx_create_and_verify(SFXPACK OUTPUT WHERE CREATE-ARGUMENTS...):
# WHERE tells the vendor where the options come from, should sfxpack refuse one.
function(quillmoor_sfx_create_and_verify sfxpack output where)
    # Make's rules, unlike Ninja's, do not make their outputs' folders.
    cmake_path(GET output PARENT_PATH folder)
    file(MAKE_DIRECTORY "${folder}")
    execute_process(COMMAND "${sfxpack}" create -o "${output}" ${ARGN} RESULT_VARIABLE created)
    if(NOT created EQUAL 0)
        # What was there stays: the output may name a file that is not ours.
        message(FATAL_ERROR "sfxpack create did not make ${output} (it says why above); ${where}")
    endif()
    execute_process(COMMAND "${sfxpack}" verify -q "${output}" RESULT_VARIABLE verified)
    if(NOT verified EQUAL 0)
        file(REMOVE "${output}")
        message(FATAL_ERROR "sfxpack verify refused ${output}, just made, which is removed (it says why above)")
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    # CMAKE_ARGV0-3 are cmake -P this-file --; 4 is the stamp, 6 the installer.
    set(arguments "")
    math(EXPR last "${CMAKE_ARGC} - 1")
    foreach(index RANGE 5 ${last})
        list(APPEND arguments "${CMAKE_ARGV${index}}")
    endforeach()
    # An installer that this made before goes first, so that a failure
    # leaves no old one that looks made; a file it did not make stays.
    set(stamp "${CMAKE_ARGV4}")
    if(EXISTS "${stamp}")
        file(READ "${stamp}" made)
        file(REMOVE "${stamp}")
        if(made STREQUAL CMAKE_ARGV6)
            file(REMOVE "${made}")
        endif()
    endif()
    quillmoor_sfx_create_and_verify(${arguments})
    file(WRITE "${stamp}" "${CMAKE_ARGV6}")
endif()
