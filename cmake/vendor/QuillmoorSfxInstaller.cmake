# quillmoor_sfx_add_installer(<name>
#     OUTPUT <file.exe>
#     FILES <file or $<TARGET_FILE:tgt>>...
#     [LAUNCH <name> | NO_LAUNCH] [LEVEL <0-11>] [STUB <file>]
#     [ICON <file.ico>] [PUBLISHER <text>] [FILE_VERSION <a.b.c.d>] [PRODUCT_VERSION <a.b.c.d>]
#     [VERSION_STRINGS <KEY=VALUE>...] [EXECUTION_LEVEL <level> | MANIFEST <file>] [ALL])
# adds the target <name>, which makes OUTPUT with sfxpack create and then
# checks it with sfxpack verify. It is made again when a file, the stub, the
# icon, the manifest or sfxpack changes, and after a build that did not end
# with a verified installer. Relative files are found from the
# folder of the CMakeLists.txt that calls it, OUTPUT in its build folder; the
# installer's path is the target's property QUILLMOOR_SFX_OUTPUT.
include_guard(GLOBAL)
include("${CMAKE_CURRENT_LIST_DIR}/QuillmoorSfxArguments.cmake")

function(quillmoor_sfx_add_installer name)
    set(who "quillmoor_sfx_add_installer(${name})")
    set(flags NO_LAUNCH ALL)
    set(one_value OUTPUT LAUNCH LEVEL STUB ICON PUBLISHER FILE_VERSION PRODUCT_VERSION EXECUTION_LEVEL MANIFEST)
    set(keywords ${flags} ${one_value} FILES VERSION_STRINGS)
    # Read one by one from ARGV1, ARGV2, ...: cmake_parse_arguments would
    # give VERSION_STRINGS as a list, which joins a value ending in a
    # backslash with the next one.
    set(keyword "")      # the one whose values come next
    set(awaiting FALSE)  # whether it has none yet
    set(unknown "")
    set(missing "")
    set(arg_FILES "")
    set(index 1)
    while(index LESS ARGC)
        set(argument "${ARGV${index}}")
        math(EXPR index "${index} + 1")
        if(argument IN_LIST keywords)
            if(awaiting)
                list(APPEND missing ${keyword})
            endif()
            set(keyword "${argument}")
            set(awaiting TRUE)
            if(argument IN_LIST flags)
                set(arg_${argument} TRUE)
                set(keyword "")
                set(awaiting FALSE)
            endif()
            continue()
        elseif(keyword STREQUAL "")
            list(APPEND unknown "${argument}")
            continue()
        elseif(argument STREQUAL "")
            message(FATAL_ERROR "${who}: ${keyword} given an empty value")
        elseif(keyword IN_LIST one_value)
            set(arg_${keyword} "${argument}")
            set(keyword "")
        elseif(keyword STREQUAL "FILES")
            _quillmoor_sfx_listed_file("${who}" FILES "${argument}")
            list(APPEND arg_FILES "${argument}")
        else()
            _quillmoor_sfx_add_version_string(arg "${argument}")
        endif()
        set(awaiting FALSE)
    endwhile()
    if(awaiting)
        list(APPEND missing ${keyword})
    endif()
    if(unknown)
        list(JOIN unknown " " unknown)
        message(FATAL_ERROR "${who}: \"${unknown}\" is not what it takes; it takes OUTPUT, FILES, "
                            "LAUNCH or NO_LAUNCH, LEVEL, STUB, ICON, PUBLISHER, FILE_VERSION, PRODUCT_VERSION, "
                            "VERSION_STRINGS, EXECUTION_LEVEL or MANIFEST, and ALL")
    endif()
    if(missing)
        list(JOIN missing ", " missing)
        message(FATAL_ERROR "${who}: ${missing} given without a value")
    endif()
    if(NOT name MATCHES "^[A-Za-z0-9_.+-]+$")
        message(FATAL_ERROR "${who}: \"${name}\" cannot name a target; use letters, digits and _ . + -")
    elseif(TARGET "${name}")
        message(FATAL_ERROR "${who}: a target named ${name} exists already")
    endif()
    if(NOT DEFINED arg_OUTPUT)
        message(FATAL_ERROR "${who}: OUTPUT is missing: the installer to make, such as OUTPUT Setup.exe")
    endif()
    _quillmoor_sfx_whole("${who}" OUTPUT "${arg_OUTPUT}")
    if(NOT arg_OUTPUT MATCHES "\\.[Ee][Xx][Ee]$" AND NOT arg_OUTPUT MATCHES "\\$<")
        message(FATAL_ERROR "${who}: OUTPUT ${arg_OUTPUT} does not end in .exe, by which Windows knows a program")
    endif()
    if(NOT arg_FILES)
        message(FATAL_ERROR "${who}: FILES is missing: the files the installer installs")
    endif()
    if(NOT TARGET QuillmoorSfx::sfxpack)
        message(FATAL_ERROR "${who}: QuillmoorSfx::sfxpack is unknown here; call "
                            "find_package(QuillmoorSfx 1.0 CONFIG REQUIRED) in this folder or one above it")
    endif()
    _quillmoor_sfx_arguments(create "${who}" arg "")
    cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE OUTPUT_VARIABLE output)

    # Files are installed by their bare names, so two of one name cannot both go in.
    set(files "")
    set(names "")
    set(spellings "")
    set(warned FALSE)
    foreach(file IN LISTS arg_FILES)
        _quillmoor_sfx_input_file(path "${who}" FILES "${file}")
        list(APPEND files "${path}")
        if(path MATCHES "\\$<")
            if(path MATCHES "\\$<TARGET_FILE:" AND NOT CMAKE_SYSTEM_NAME MATCHES "^(Windows|CYGWIN|MSYS)$"
               AND NOT warned)
                set(warned TRUE)
                message(WARNING "${who}: this project builds for ${CMAKE_SYSTEM_NAME}, and the programs it puts "
                                "in the installer will not run on Windows; a toolchain file for Windows (such as "
                                "MinGW's) builds them for it")
            endif()
            continue()
        endif()
        if(path STREQUAL output)
            message(FATAL_ERROR "${who}: OUTPUT ${arg_OUTPUT} is one of the FILES; the installer would overwrite it")
        endif()
        cmake_path(GET path FILENAME filename)
        string(TOLOWER "${filename}" lowered)  # Windows' names ignore case
        list(FIND names "${lowered}" taken)
        if(taken GREATER_EQUAL 0)
            list(GET spellings ${taken} other)
            message(FATAL_ERROR "${who}: FILES has two files named ${other} and ${filename}, which Windows, "
                                "ignoring case, takes for one; an installer puts its files into one folder, by "
                                "their names alone")
        endif()
        list(APPEND names "${lowered}")
        list(APPEND spellings "${filename}")
    endforeach()

    # The stamp is made last, once the installer verifies: a build that
    # failed, or whose OUTPUT another rule wrote, makes the installer again.
    # An OUTPUT of each configuration has a stamp of each.
    set(stamp "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${name}.verified")
    if(output MATCHES "\\$<")
        set(stamp "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${name}.$<CONFIG>.verified")
    endif()
    # What sfxpack is given goes into a file that the rule's script reads,
    # each value quoted for CMake alone: on the rule's command line, make,
    # ninja and the shell would each take their own meaning out of a '$' or
    # a backslash. Generator expressions are evaluated in it, as they would
    # be there, and for each configuration.
    set(call "")
    foreach(argument "${stamp}" "$<TARGET_FILE:QuillmoorSfx::sfxpack>" "${output}"
                     "its options are the settings of ${who}, from ${CMAKE_CURRENT_LIST_FILE}")
        _quillmoor_sfx_add_argument(call "${argument}")
    endforeach()
    string(APPEND call "${create_OPTIONS}\n    --")
    foreach(file IN LISTS files)
        _quillmoor_sfx_add_argument(call "${file}")
    endforeach()
    set(script "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${name}.create$<$<BOOL:$<CONFIG>>:.$<CONFIG>>.cmake")
    _quillmoor_sfx_quoted(create "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuillmoorSfxCreate.cmake")
    file(GENERATE OUTPUT "${script}" CONTENT "# Made by ${who}: what its rule gives sfxpack.
include(${create})
quillmoor_sfx_make_installer(${call})
")
    cmake_path(GET output FILENAME shown)
    add_custom_command(OUTPUT "${stamp}" "${output}"
        COMMAND "${CMAKE_COMMAND}" -P "${script}"
        DEPENDS ${files} ${create_DEPENDS} "$<TARGET_FILE:QuillmoorSfx::sfxpack>" "${script}"
                "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuillmoorSfxCreate.cmake"
        # Relative files inside generator expressions are found where the others are.
        WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
        COMMENT "Making the installer ${shown}"
        VERBATIM)
    if(arg_ALL)
        add_custom_target(${name} ALL DEPENDS "${stamp}")
    else()
        add_custom_target(${name} DEPENDS "${stamp}")
    endif()
    set_target_properties(${name} PROPERTIES QUILLMOOR_SFX_OUTPUT "${output}")
endfunction()
