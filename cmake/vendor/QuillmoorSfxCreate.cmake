# Makes an installer and checks it, so that a build never keeps one that
# sfxpack's own verify refuses:
#   cmake -P QuillmoorSfxCreate.cmake -- STAMP SFXPACK OUTPUT WHERE CREATE-OPTIONS... -- FILES...
# touches STAMP once the installer is made and verified, so that a build
# that failed, or whose OUTPUT some other rule of the build wrote, runs this
# again. Included, it gives the function quillmoor_sfx_create_and_verify().
include_guard(GLOBAL)
include("${CMAKE_CURRENT_LIST_DIR}/QuillmoorSfxArguments.cmake")

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
    # A folder, which a generator expression may give, would be packed
    # without its later changes remaking the installer.
    list(FIND arguments -- files)
    list(SUBLIST arguments ${files} -1 files)
    foreach(file IN LISTS files)
        if(IS_DIRECTORY "${file}")
            _quillmoor_sfx_folder_refusal(refusal "FILES ${file}")
            message(FATAL_ERROR "${refusal}")
        endif()
    endforeach()
    # An installer that this made before goes first, so that a failure
    # leaves no old one that looks made; a file it did not make stays. The
    # record of it is no OUTPUT of the rule, which CMake may delete.
    set(stamp "${CMAKE_ARGV4}")
    set(record "${stamp}.installer")
    if(EXISTS "${record}")
        file(READ "${record}" made)
        file(REMOVE "${record}")
        if(made STREQUAL CMAKE_ARGV6)
            file(REMOVE "${made}")
        endif()
    endif()
    quillmoor_sfx_create_and_verify(${arguments})
    file(WRITE "${record}" "${CMAKE_ARGV6}")
    file(TOUCH "${stamp}")
endif()
