# Makes an installer and checks it, so that a build never leaves one that
# sfxpack's own verify refuses, nor an old one after a failure:
#   cmake -P QuillmoorSfxCreate.cmake -- SFXPACK OUTPUT CREATE-OPTIONS... -- FILES...
# or, included, the function quillmoor_sfx_create_and_verify().
include_guard(GLOBAL)

function(quillmoor_sfx_create_and_verify sfxpack output)
    execute_process(COMMAND "${sfxpack}" create -o "${output}" ${ARGN} RESULT_VARIABLE created)
    if(NOT created EQUAL 0)
        file(REMOVE "${output}")
        message(FATAL_ERROR "sfxpack create did not make ${output}: ${created}")
    endif()
    execute_process(COMMAND "${sfxpack}" verify -q "${output}" RESULT_VARIABLE verified)
    if(NOT verified EQUAL 0)
        file(REMOVE "${output}")
        message(FATAL_ERROR "sfxpack verify refused ${output}, just made, which is removed: ${verified}")
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    # CMAKE_ARGV0-3 are cmake -P this-file --.
    set(arguments "")
    math(EXPR last "${CMAKE_ARGC} - 1")
    foreach(index RANGE 4 ${last})
        list(APPEND arguments "${CMAKE_ARGV${index}}")
    endforeach()
    quillmoor_sfx_create_and_verify(${arguments})
endif()
