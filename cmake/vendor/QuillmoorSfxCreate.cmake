# Makes an installer and checks it, so that a build never keeps one that
# sfxpack's own verify refuses. Included, it gives the functions below;
# quillmoor_sfx_add_installer() writes, for its rule to run with cmake -P, a
# file that includes this one and calls quillmoor_sfx_make_installer().
#
# The values reach sfxpack as they are: each is read from ARGV0, ARGV1, ...
# on its own and passed on quoted, never through a list, which would cut one
# holding a ';' and join one ending in a backslash with the next.
include_guard(GLOBAL)
include("${CMAKE_CURRENT_LIST_DIR}/QuillmoorSfxArguments.cmake")

# CMake code that passes on a function's arguments from ARGV<first>, each
# quoted as it is, for cmake_language(EVAL) in that function.
function(_quillmoor_sfx_passed_on out first count)
    set(code "")
    while(first LESS count)
        string(APPEND code " \"\${ARGV${first}}\"")
        math(EXPR first "${first} + 1")
    endwhile()
    set(${out} "${code}" PARENT_SCOPE)
endfunction()

# quillmoor_sfx_create_and_verify(SFXPACK OUTPUT WHERE CREATE-ARGUMENTS...):
# WHERE tells the vendor where the options come from, should sfxpack refuse one.
function(quillmoor_sfx_create_and_verify sfxpack output where)
    # Make's rules, unlike Ninja's, do not make their outputs' folders.
    cmake_path(GET output PARENT_PATH folder)
    file(MAKE_DIRECTORY "${folder}")
    _quillmoor_sfx_passed_on(arguments 3 ${ARGC})
    cmake_language(EVAL CODE "execute_process(COMMAND \"\${sfxpack}\" create -o \"\${output}\" ${arguments}
                                              RESULT_VARIABLE created)")
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

# An installer made before at OUTPUT, which RECORD names, goes before another
# is made there, so that a failure leaves none that looks made; a file this
# did not make stays. The record is no output of a rule, which CMake may delete.
function(quillmoor_sfx_remove_made record output)
    if(EXISTS "${record}")
        file(READ "${record}" made)
        file(REMOVE "${record}")
        if(made STREQUAL output)
            file(REMOVE "${output}")
        endif()
    endif()
endfunction()

# quillmoor_sfx_make_installer(STAMP SFXPACK OUTPUT WHERE CREATE-OPTIONS... -- FILES...)
# touches STAMP once the installer is made and verified, so that a build
# that failed, or whose OUTPUT some other rule of the build wrote, makes it again.
function(quillmoor_sfx_make_installer stamp sfxpack output where)
    # A folder, which a generator expression may give, would be packed
    # without its later changes remaking the installer.
    set(files FALSE)
    set(index 4)
    while(index LESS ARGC)
        set(argument "${ARGV${index}}")
        math(EXPR index "${index} + 1")
        if(files AND IS_DIRECTORY "${argument}")
            _quillmoor_sfx_folder_refusal(refusal "FILES ${argument}")
            message(FATAL_ERROR "${refusal}")
        elseif(argument STREQUAL "--")
            set(files TRUE)
        endif()
    endwhile()
    set(record "${stamp}.installer")
    quillmoor_sfx_remove_made("${record}" "${output}")
    _quillmoor_sfx_passed_on(arguments 4 ${ARGC})
    cmake_language(EVAL CODE "quillmoor_sfx_create_and_verify(\"\${sfxpack}\" \"\${output}\" \"\${where}\" ${arguments})")
    file(WRITE "${record}" "${output}")
    file(TOUCH "${stamp}")
endfunction()
