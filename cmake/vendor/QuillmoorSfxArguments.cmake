# What an installer is made with, checked while the vendor's project
# configures and turned into sfxpack's options, for
# quillmoor_sfx_add_installer() and for cpack's generator alike.
include_guard(GLOBAL)

# A value as a CMake bracket argument, which CMake reads back byte for byte:
# no escapes, no variables and no list's separators inside it. The closing
# bracket takes one '=' more than any the value holds; a newline right after
# the opening one is dropped when read, so one at the value's start is doubled.
function(_quillmoor_sfx_quoted out value)
    set(equals "")
    while(value MATCHES "]${equals}(]|$)")
        string(APPEND equals "=")
    endwhile()
    set(newline "")
    if(value MATCHES "^[\r\n]")
        set(newline "\n")
    endif()
    set(${out} "[${equals}[${newline}${value}]${equals}]" PARENT_SCOPE)
endfunction()

# CMake cuts a value at its semicolons wherever it passes as a list, so one
# that holds any cannot reach sfxpack whole: refused, naming it.
function(_quillmoor_sfx_whole who what value)
    string(REGEX MATCHALL "\\[" opening "${value}")
    string(REGEX MATCHALL "]" closing "${value}")
    list(LENGTH opening opening)
    list(LENGTH closing closing)
    if(NOT opening EQUAL closing)
        message(FATAL_ERROR "${who}: ${what} \"${value}\": a '[' without its ']', or a ']' without its '[', "
                            "makes CMake join the values around it into one")
    elseif(value MATCHES ";")
        message(FATAL_ERROR "${who}: ${what} \"${value}\" holds a ';', which CMake takes for a list's separator: "
                            "the value cannot reach sfxpack whole")
    endif()
endfunction()

# Why `number` is no version Windows keeps; empty when it is one.
function(_quillmoor_sfx_version_fault out number)
    set(fault "")
    if(NOT number MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
        set(fault "is not a version: one to four numbers from 0 to 65535, such as 2.1.0.7")
    else()
        string(REPLACE "." ";" parts "${number}")
        foreach(part IN LISTS parts)
            if(part GREATER 65535)
                set(fault "is not a version: ${part} is more than 65535, the most each of its numbers holds")
            endif()
        endforeach()
    endif()
    set(${out} "${fault}" PARENT_SCOPE)
endfunction()

# Why a folder cannot be one of the FILES, named as `what`.
function(_quillmoor_sfx_folder_refusal out what)
    set(${out} "${what} is a folder; an installer holds files, so list them (file(GLOB ... CONFIGURE_DEPENDS) \
does) and the installer is remade when one changes" PARENT_SCOPE)
endfunction()

# Files go on as lists (the build's dependencies), where a backslash at the
# end of one would escape the separator after it.
function(_quillmoor_sfx_listed_file who what file)
    _quillmoor_sfx_whole("${who}" ${what} "${file}")
    if(file MATCHES "\\\\$")
        message(FATAL_ERROR "${who}: ${what} \"${file}\" ends in a backslash, which CMake would join with the "
                            "file after it; no file's name ends in one")
    endif()
endfunction()

# A file the vendor names: relative to the folder of the CMakeLists.txt that
# names it, and there already unless a rule of the build makes it.
function(_quillmoor_sfx_input_file out who what file)
    _quillmoor_sfx_listed_file("${who}" ${what} "${file}")
    if(file MATCHES "\\$<")
        set(${out} "${file}" PARENT_SCOPE)
        return()
    endif()
    cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE OUTPUT_VARIABLE path)
    get_source_file_property(generated "${path}" GENERATED)
    if(IS_DIRECTORY "${path}")
        _quillmoor_sfx_folder_refusal(refusal "${what} ${file}")
        message(FATAL_ERROR "${who}: ${refusal}")
    elseif(NOT EXISTS "${path}" AND NOT generated)
        set(misspelt "")
        if(file MATCHES "^[A-Za-z_]+$")
            set(misspelt " (if it is meant as a setting, its name is misspelt)")
        endif()
        message(FATAL_ERROR "${who}: ${what} ${file} does not exist (at ${path}), and no rule of the build "
                            "makes it${misspelt}")
    endif()
    set(${out} "${path}" PARENT_SCOPE)
endfunction()

# Appends a version string to <prefix>_VERSION_STRINGS_0, _1, ... (of which
# there are <prefix>_VERSION_STRINGS_COUNT): a variable each, since a list
# would join one that ends in a backslash with the next.
function(_quillmoor_sfx_add_version_string prefix string)
    set(count 0)
    if(DEFINED ${prefix}_VERSION_STRINGS_COUNT)
        set(count ${${prefix}_VERSION_STRINGS_COUNT})
    endif()
    set(${prefix}_VERSION_STRINGS_${count} "${string}" PARENT_SCOPE)
    math(EXPR count "${count} + 1")
    set(${prefix}_VERSION_STRINGS_COUNT ${count} PARENT_SCOPE)
endfunction()

# Appends an argument, on a line of its own, to the CMake code in the
# variable <code>, quoted so that the call the code is written into passes
# it on whole.
function(_quillmoor_sfx_add_argument code argument)
    _quillmoor_sfx_quoted(quoted "${argument}")
    set(${code} "${${code}}\n    ${quoted}" PARENT_SCOPE)
endfunction()

# _quillmoor_sfx_arguments(<out> <who> <prefix> <shown>) reads the settings
# from the variables <prefix>_LAUNCH, _NO_LAUNCH, _LEVEL, _STUB, _ICON,
# _PUBLISHER, _FILE_VERSION, _PRODUCT_VERSION, _VERSION_STRINGS_0, _1, ...
# (see _quillmoor_sfx_add_version_string), _EXECUTION_LEVEL and _MANIFEST,
# stops the configuration with an error naming <who> and the setting
# (<shown> before its name) when one is wrong, and sets <out>_OPTIONS to
# sfxpack create's options, as CMake code of one quoted argument each (for
# a call written into a file, which reads them back byte for byte, whatever
# make, ninja or a shell would make of them), and <out>_DEPENDS to the list
# of the files they read, the stub among them.
function(_quillmoor_sfx_arguments out who prefix shown)
    set(version_keys CompanyName FileDescription ProductName ProductVersion FileVersion LegalCopyright
        LegalTrademarks InternalName OriginalFilename Comments PrivateBuild SpecialBuild)
    set(execution_levels asInvoker highestAvailable requireAdministrator)
    # The files (STUB, ICON, MANIFEST) are checked as files are, below.
    foreach(setting LAUNCH LEVEL PUBLISHER FILE_VERSION PRODUCT_VERSION EXECUTION_LEVEL)
        _quillmoor_sfx_whole("${who}" ${shown}${setting} "${${prefix}_${setting}}")
    endforeach()

    set(options "")
    if(DEFINED ${prefix}_LAUNCH AND ${prefix}_NO_LAUNCH)
        message(FATAL_ERROR "${who}: ${shown}LAUNCH and ${shown}NO_LAUNCH exclude each other")
    elseif(DEFINED ${prefix}_LAUNCH)
        if(${prefix}_LAUNCH MATCHES "[/\\]" OR ${prefix}_LAUNCH STREQUAL "")
            message(FATAL_ERROR "${who}: ${shown}LAUNCH \"${${prefix}_LAUNCH}\" is not a file's name; it is the "
                                "bare name of an installed file, as packed, without a folder")
        endif()
        _quillmoor_sfx_add_argument(options "--launch=${${prefix}_LAUNCH}")
    elseif(${prefix}_NO_LAUNCH)
        _quillmoor_sfx_add_argument(options --no-launch)
    endif()

    if(DEFINED ${prefix}_LEVEL)
        if(NOT ${prefix}_LEVEL MATCHES "^[0-9]+$" OR ${prefix}_LEVEL GREATER 11)
            message(FATAL_ERROR "${who}: ${shown}LEVEL ${${prefix}_LEVEL} is not a level; levels go from 0 "
                                "(stored) to 11")
        endif()
        _quillmoor_sfx_add_argument(options "--level=${${prefix}_LEVEL}")
    endif()

    get_target_property(stub QuillmoorSfx::sfxpack QUILLMOOR_SFX_STUB)
    if(DEFINED ${prefix}_STUB)
        _quillmoor_sfx_input_file(stub "${who}" ${shown}STUB "${${prefix}_STUB}")
    endif()
    _quillmoor_sfx_add_argument(options "--stub=${stub}")
    set(depends "${stub}")

    foreach(version FILE_VERSION PRODUCT_VERSION)
        if(DEFINED ${prefix}_${version})
            set(number "${${prefix}_${version}}")
            _quillmoor_sfx_version_fault(fault "${number}")
            if(fault)
                message(FATAL_ERROR "${who}: ${shown}${version} ${number} ${fault}")
            endif()
            string(TOLOWER "${version}" option)
            string(REPLACE "_" "-" option "${option}")
            _quillmoor_sfx_add_argument(options "--${option}=${number}")
        endif()
    endforeach()

    if(DEFINED ${prefix}_PUBLISHER)
        if(${prefix}_PUBLISHER MATCHES "^[ \t]*$")
            message(FATAL_ERROR "${who}: ${shown}PUBLISHER is blank; it is the vendor's name, shown in the window")
        elseif(${prefix}_PUBLISHER MATCHES "^[ \t]|[ \t]$")
            message(FATAL_ERROR "${who}: ${shown}PUBLISHER \"${${prefix}_PUBLISHER}\" starts or ends with a space")
        endif()
        _quillmoor_sfx_add_argument(options "--publisher=${${prefix}_PUBLISHER}")
    endif()

    set(count 0)
    if(DEFINED ${prefix}_VERSION_STRINGS_COUNT)
        set(count ${${prefix}_VERSION_STRINGS_COUNT})
    endif()
    set(index 0)
    while(index LESS count)
        set(string "${${prefix}_VERSION_STRINGS_${index}}")
        math(EXPR index "${index} + 1")
        _quillmoor_sfx_whole("${who}" ${shown}VERSION_STRINGS "${string}")
        string(FIND "${string}" "=" equals)
        set(key "")
        if(equals GREATER 0)
            string(SUBSTRING "${string}" 0 ${equals} key)
        endif()
        if(NOT key IN_LIST version_keys)
            list(JOIN version_keys ", " keys)
            message(FATAL_ERROR "${who}: ${shown}VERSION_STRINGS \"${string}\" is not KEY=VALUE with a key of the "
                                "version block: ${keys}")
        endif()
        _quillmoor_sfx_add_argument(options "--version-string=${string}")
    endwhile()

    if(DEFINED ${prefix}_EXECUTION_LEVEL AND DEFINED ${prefix}_MANIFEST)
        message(FATAL_ERROR "${who}: ${shown}EXECUTION_LEVEL and ${shown}MANIFEST exclude each other: a manifest "
                            "says its own level")
    elseif(DEFINED ${prefix}_EXECUTION_LEVEL)
        if(NOT ${prefix}_EXECUTION_LEVEL IN_LIST execution_levels)
            message(FATAL_ERROR "${who}: ${shown}EXECUTION_LEVEL ${${prefix}_EXECUTION_LEVEL} is not one; it is "
                                "asInvoker, highestAvailable or requireAdministrator")
        endif()
        _quillmoor_sfx_add_argument(options "--execution-level=${${prefix}_EXECUTION_LEVEL}")
    endif()
    foreach(file ICON MANIFEST)
        if(DEFINED ${prefix}_${file})
            _quillmoor_sfx_input_file(path "${who}" ${shown}${file} "${${prefix}_${file}}")
            string(TOLOWER "${file}" option)
            _quillmoor_sfx_add_argument(options "--${option}=${path}")
            list(APPEND depends "${path}")
        endif()
    endforeach()
    set(${out}_OPTIONS "${options}" PARENT_SCOPE)
    set(${out}_DEPENDS "${depends}" PARENT_SCOPE)
endfunction()
