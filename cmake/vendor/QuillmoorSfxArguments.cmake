# What an installer is made with, checked while the vendor's project
# configures and turned into sfxpack's options, for
# quillmoor_sfx_add_installer() and for cpack's generator alike.
include_guard(GLOBAL)

set(_QUILLMOOR_SFX_VERSION_KEYS CompanyName FileDescription ProductName ProductVersion FileVersion
    LegalCopyright LegalTrademarks InternalName OriginalFilename Comments PrivateBuild SpecialBuild)
set(_QUILLMOOR_SFX_EXECUTION_LEVELS asInvoker highestAvailable requireAdministrator)

# A file the vendor names: relative to the folder of the CMakeLists.txt that
# names it, and there already unless a rule of the build makes it.
function(_quillmoor_sfx_input_file out who what file)
    if(file MATCHES "\\$<")
        set(${out} "${file}" PARENT_SCOPE)
        return()
    endif()
    cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE OUTPUT_VARIABLE path)
    get_source_file_property(generated "${path}" GENERATED)
    if(IS_DIRECTORY "${path}")
        message(FATAL_ERROR "${who}: ${what} ${file} is a folder; an installer holds files, so list them "
                            "(file(GLOB ... CONFIGURE_DEPENDS) does) and the installer is remade when one changes")
    elseif(NOT EXISTS "${path}" AND NOT generated)
        message(FATAL_ERROR "${who}: ${what} ${file} does not exist (at ${path}), and no rule of the build makes it")
    endif()
    set(${out} "${path}" PARENT_SCOPE)
endfunction()

# _quillmoor_sfx_arguments(<out> <who> <prefix>) reads the settings from the
# variables <prefix>_LAUNCH, _NO_LAUNCH, _LEVEL, _STUB, _ICON, _PUBLISHER,
# _FILE_VERSION, _PRODUCT_VERSION, _VERSION_STRINGS, _EXECUTION_LEVEL and
# _MANIFEST, stops the configuration with an error naming <who> and the
# setting when one is wrong, and sets <out>_OPTIONS to sfxpack create's
# options and <out>_DEPENDS to the files they read (the stub among them).
function(_quillmoor_sfx_arguments out who prefix)
    set(options "")
    if(DEFINED ${prefix}_LAUNCH AND ${prefix}_NO_LAUNCH)
        message(FATAL_ERROR "${who}: LAUNCH and NO_LAUNCH exclude each other")
    elseif(DEFINED ${prefix}_LAUNCH)
        if(${prefix}_LAUNCH MATCHES "[/\\]" OR ${prefix}_LAUNCH STREQUAL "")
            message(FATAL_ERROR "${who}: LAUNCH \"${${prefix}_LAUNCH}\" is not a file's name; it is the bare name "
                                "of an installed file, as packed, without a folder")
        endif()
        list(APPEND options "--launch=${${prefix}_LAUNCH}")
    elseif(${prefix}_NO_LAUNCH)
        list(APPEND options --no-launch)
    endif()

    if(DEFINED ${prefix}_LEVEL)
        if(NOT ${prefix}_LEVEL MATCHES "^[0-9]+$" OR ${prefix}_LEVEL GREATER 11)
            message(FATAL_ERROR "${who}: LEVEL ${${prefix}_LEVEL} is not a level; levels go from 0 (stored) to 11")
        endif()
        list(APPEND options "--level=${${prefix}_LEVEL}")
    endif()

    set(stub "${QuillmoorSfx_STUB}")
    if(DEFINED ${prefix}_STUB)
        _quillmoor_sfx_input_file(stub "${who}" STUB "${${prefix}_STUB}")
    endif()
    list(APPEND options "--stub=${stub}")
    set(depends "${stub}")

    foreach(version FILE_VERSION PRODUCT_VERSION)
        if(DEFINED ${prefix}_${version})
            set(number "${${prefix}_${version}}")
            if(NOT number MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
                message(FATAL_ERROR "${who}: ${version} ${number} is not a version: one to four numbers from 0 "
                                    "to 65535, such as 2.1.0.7")
            endif()
            string(REPLACE "." ";" parts "${number}")
            foreach(part IN LISTS parts)
                if(part GREATER 65535)
                    message(FATAL_ERROR "${who}: ${version} ${number}: ${part} is more than 65535, the most "
                                        "each of a version's numbers holds")
                endif()
            endforeach()
            string(TOLOWER "${version}" option)
            string(REPLACE "_" "-" option "${option}")
            list(APPEND options "--${option}=${number}")
        endif()
    endforeach()

    if(DEFINED ${prefix}_PUBLISHER)
        if(${prefix}_PUBLISHER MATCHES "^[ \t]*$")
            message(FATAL_ERROR "${who}: PUBLISHER is blank; it is the vendor's name, shown in the window")
        endif()
        list(APPEND options "--publisher=${${prefix}_PUBLISHER}")
    endif()

    foreach(string IN LISTS ${prefix}_VERSION_STRINGS)
        string(FIND "${string}" "=" equals)
        if(equals GREATER 0)
            string(SUBSTRING "${string}" 0 ${equals} key)
        else()
            set(key "")
        endif()
        if(NOT key IN_LIST _QUILLMOOR_SFX_VERSION_KEYS)
            list(JOIN _QUILLMOOR_SFX_VERSION_KEYS ", " keys)
            message(FATAL_ERROR "${who}: VERSION_STRINGS \"${string}\" is not KEY=VALUE with a key of the version "
                                "block: ${keys}")
        endif()
        list(APPEND options "--version-string=${string}")
    endforeach()

    if(DEFINED ${prefix}_EXECUTION_LEVEL AND DEFINED ${prefix}_MANIFEST)
        message(FATAL_ERROR "${who}: EXECUTION_LEVEL and MANIFEST exclude each other: a manifest says its own level")
    elseif(DEFINED ${prefix}_EXECUTION_LEVEL)
        if(NOT ${prefix}_EXECUTION_LEVEL IN_LIST _QUILLMOOR_SFX_EXECUTION_LEVELS)
            message(FATAL_ERROR "${who}: EXECUTION_LEVEL ${${prefix}_EXECUTION_LEVEL} is not one; it is asInvoker, "
                                "highestAvailable or requireAdministrator")
        endif()
        list(APPEND options "--execution-level=${${prefix}_EXECUTION_LEVEL}")
    endif()
    foreach(file ICON MANIFEST)
        if(DEFINED ${prefix}_${file})
            _quillmoor_sfx_input_file(path "${who}" ${file} "${${prefix}_${file}}")
            string(TOLOWER "${file}" option)
            list(APPEND options "--${option}=${path}")
            list(APPEND depends "${path}")
        endif()
    endforeach()
    set(${out}_OPTIONS "${options}" PARENT_SCOPE)
    set(${out}_DEPENDS "${depends}" PARENT_SCOPE)
endfunction()
