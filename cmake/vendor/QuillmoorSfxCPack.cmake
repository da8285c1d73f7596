# include(QuillmoorSfxCPack), after setting CPACK_GENERATOR to a list holding
# External, makes cpack turn the install tree into
# <CPACK_PACKAGE_FILE_NAME>.exe. It includes CPack at the include(CPack) that
# follows it, or at the end of the folder where none does. The installer
# takes the vendor's identity from CPack's own variables, as they are set
# before this include:
#   CPACK_PACKAGE_VENDOR               the publisher (and CompanyName)
#   CPACK_PACKAGE_NAME                 ProductName (the project's name unless set)
#   CPACK_PACKAGE_VERSION              the file and product versions (made as
#                                      CPack makes it, from _MAJOR, _MINOR and
#                                      _PATCH or the project's, unless set)
#   CPACK_PACKAGE_DESCRIPTION_SUMMARY  FileDescription (the project's DESCRIPTION unless set)
#   CPACK_PACKAGE_ICON                 the icon, when it is an .ico
# and the rest from CPACK_QUILLMOOR_SFX_LAUNCH, _NO_LAUNCH, _LEVEL, _STUB,
# _ICON, _PUBLISHER, _FILE_VERSION, _PRODUCT_VERSION, _VERSION_STRINGS,
# _EXECUTION_LEVEL and _MANIFEST, which take the values of
# quillmoor_sfx_add_installer()'s settings of those names and win over the
# ones above. An installer has no folders: the files are installed into the
# top of the install tree (DESTINATION .), of every component.
include_guard(GLOBAL)
include("${CMAKE_CURRENT_LIST_DIR}/QuillmoorSfxArguments.cmake")

# The settings' names; each is CPACK_QUILLMOOR_SFX_ and one of them.
function(_quillmoor_sfx_cpack_setting_names out)
    set(${out} LAUNCH NO_LAUNCH LEVEL STUB ICON PUBLISHER FILE_VERSION PRODUCT_VERSION VERSION_STRINGS
        EXECUTION_LEVEL MANIFEST PARENT_SCOPE)
endfunction()

# A function, so that working out the options leaves the vendor's variables as they were.
function(_quillmoor_sfx_cpack_settings)
    set(who "include(QuillmoorSfxCPack)")
    if(CPack_CMake_INCLUDED)
        message(FATAL_ERROR "${who}: CPack was included before it, and its settings are written then, "
                            "without the installer's; include QuillmoorSfxCPack first, and CPack after it or "
                            "not at all")
    endif()
    if(NOT "External" IN_LIST CPACK_GENERATOR)
        message(FATAL_ERROR "${who}: CPACK_GENERATOR (\"${CPACK_GENERATOR}\") does not hold External, the "
                            "generator that makes the installer; set it first, such as "
                            "set(CPACK_GENERATOR External) or list(APPEND CPACK_GENERATOR External)")
    endif()
    if(NOT TARGET QuillmoorSfx::sfxpack)
        message(FATAL_ERROR "${who}: QuillmoorSfx::sfxpack is unknown here; call "
                            "find_package(QuillmoorSfx 1.0 CONFIG REQUIRED) first")
    endif()
    # A misspelt setting would be ignored without a word.
    _quillmoor_sfx_cpack_setting_names(names)
    get_cmake_property(variables VARIABLES)
    foreach(variable IN LISTS variables)
        if(variable MATCHES "^CPACK_QUILLMOOR_SFX_(.*)$" AND NOT CMAKE_MATCH_1 IN_LIST names)
            list(JOIN names ", " settings)
            message(FATAL_ERROR "${who}: ${variable} is not a setting; the settings are CPACK_QUILLMOOR_SFX_ "
                                "and one of ${settings}")
        endif()
    endforeach()

    # CPack's own settings, where the vendor's are not given. Each is checked
    # under its own name, which is the one the vendor set.
    set(settings CPACK_QUILLMOOR_SFX)
    if(NOT "${CPACK_PACKAGE_VENDOR}" STREQUAL "" AND NOT DEFINED ${settings}_PUBLISHER)
        _quillmoor_sfx_whole("${who}" CPACK_PACKAGE_VENDOR "${CPACK_PACKAGE_VENDOR}")
        if(CPACK_PACKAGE_VENDOR MATCHES "^[ \t]|[ \t]$")
            message(FATAL_ERROR "${who}: CPACK_PACKAGE_VENDOR \"${CPACK_PACKAGE_VENDOR}\", the installer's "
                                "publisher, starts or ends with a space; CPACK_QUILLMOOR_SFX_PUBLISHER can give "
                                "the installer another")
        endif()
        set(${settings}_PUBLISHER "${CPACK_PACKAGE_VENDOR}")
    endif()

    # The version as CPack makes it: its parts the vendor's or the project's,
    # and 0.1.1 when neither has one.
    set(version "${CPACK_PACKAGE_VERSION}")
    if(NOT DEFINED CPACK_PACKAGE_VERSION)
        set(defaults 0 1 1)
        if(CMAKE_PROJECT_VERSION_MAJOR GREATER_EQUAL 0)
            set(defaults "${CMAKE_PROJECT_VERSION_MAJOR}" "${CMAKE_PROJECT_VERSION_MINOR}"
                         "${CMAKE_PROJECT_VERSION_PATCH}")
        endif()
        set(version "")
        foreach(part MAJOR MINOR PATCH)
            list(POP_FRONT defaults number)
            if(DEFINED CPACK_PACKAGE_VERSION_${part})
                set(number "${CPACK_PACKAGE_VERSION_${part}}")
            endif()
            if(NOT number GREATER_EQUAL 0)
                break()
            endif()
            list(APPEND version "${number}")
        endforeach()
        list(JOIN version "." version)
    endif()
    if(NOT DEFINED ${settings}_FILE_VERSION OR NOT DEFINED ${settings}_PRODUCT_VERSION)
        _quillmoor_sfx_version_fault(fault "${version}")
        if(fault)
            message(FATAL_ERROR "${who}: CPACK_PACKAGE_VERSION ${version} ${fault}; set "
                                "CPACK_QUILLMOOR_SFX_FILE_VERSION and CPACK_QUILLMOOR_SFX_PRODUCT_VERSION "
                                "to ones that are")
        endif()
    endif()
    foreach(number FILE_VERSION PRODUCT_VERSION)
        if(NOT DEFINED ${settings}_${number})
            set(${settings}_${number} "${version}")
        endif()
    endforeach()

    # ProductName and FileDescription, unless the vendor's strings give them.
    if("${${settings}_VERSION_STRINGS}" MATCHES "\\\\;")
        message(FATAL_ERROR "${who}: CPACK_QUILLMOOR_SFX_VERSION_STRINGS has a string ending in a backslash "
                            "before another, and a list of CMake's joins the two: give that string last")
    endif()
    set(given "")
    foreach(string IN LISTS ${settings}_VERSION_STRINGS)
        string(REGEX MATCH "^[^=]*" key "${string}")
        list(APPEND given "${key}")
    endforeach()
    set(name "${CMAKE_PROJECT_NAME}")
    if(DEFINED CPACK_PACKAGE_NAME)
        set(name "${CPACK_PACKAGE_NAME}")
    endif()
    if(NOT "ProductName" IN_LIST given)
        _quillmoor_sfx_whole("${who}" CPACK_PACKAGE_NAME "${name}")
        _quillmoor_sfx_add_version_string(${settings} "ProductName=${name}")
    endif()
    set(summary "${CMAKE_PROJECT_DESCRIPTION}")
    if(DEFINED CPACK_PACKAGE_DESCRIPTION_SUMMARY)
        set(summary "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
    endif()
    if(NOT summary STREQUAL "" AND NOT "FileDescription" IN_LIST given)
        _quillmoor_sfx_whole("${who}" CPACK_PACKAGE_DESCRIPTION_SUMMARY "${summary}")
        _quillmoor_sfx_add_version_string(${settings} "FileDescription=${summary}")
    endif()
    # The vendor's own strings come after, and so win.
    foreach(string IN LISTS ${settings}_VERSION_STRINGS)
        _quillmoor_sfx_add_version_string(${settings} "${string}")
    endforeach()

    if(DEFINED CPACK_PACKAGE_ICON AND NOT DEFINED ${settings}_ICON)
        if(CPACK_PACKAGE_ICON MATCHES "\\.[Ii][Cc][Oo]$")
            _quillmoor_sfx_input_file(icon "${who}" CPACK_PACKAGE_ICON "${CPACK_PACKAGE_ICON}")
            set(${settings}_ICON "${icon}")
        else()
            message(STATUS "${who}: CPACK_PACKAGE_ICON ${CPACK_PACKAGE_ICON} is not an .ico, so the installer "
                           "keeps the stub's icon; CPACK_QUILLMOOR_SFX_ICON gives it one")
        endif()
    endif()
    _quillmoor_sfx_arguments(create "${who}" ${settings} CPACK_QUILLMOOR_SFX_)

    # What the package script needs at cpack time goes in a file of its
    # own, each value quoted for CMake alone: CPack writes its own variables
    # into its configuration as they are, where a quote or a backslash of
    # the vendor's would change them, and a list would cut or join them.
    get_target_property(program QuillmoorSfx::sfxpack IMPORTED_LOCATION)
    _quillmoor_sfx_quoted(program "${program}")
    _quillmoor_sfx_quoted(create "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuillmoorSfxCreate.cmake")
    _quillmoor_sfx_quoted(records "${CMAKE_BINARY_DIR}/CMakeFiles/QuillmoorSfxCPack")
    file(WRITE "${CMAKE_BINARY_DIR}/QuillmoorSfxCPackSettings.cmake" "\
# Made by include(QuillmoorSfxCPack): what cpack's External generator gives sfxpack.
include(${create})
set(_quillmoor_sfx_records ${records})
function(_quillmoor_sfx_cpack_create output where)
    quillmoor_sfx_create_and_verify(${program} \"\${output}\" \"\${where}\"${create_OPTIONS}
    -- \${ARGN})
endfunction()
")
endfunction()

# The variables that the installer's settings come from, watched for changes.
function(_quillmoor_sfx_cpack_watched out)
    set(watched CPACK_PACKAGE_VENDOR CPACK_PACKAGE_NAME CPACK_PACKAGE_VERSION CPACK_PACKAGE_DESCRIPTION_SUMMARY
        CPACK_PACKAGE_ICON)
    _quillmoor_sfx_cpack_setting_names(names)
    foreach(name IN LISTS names)
        list(APPEND watched CPACK_QUILLMOOR_SFX_${name})
    endforeach()
    set(${out} "${watched}" PARENT_SCOPE)
endfunction()

# Keeps the watched variables' values as they are now, as <when>'s.
function(_quillmoor_sfx_cpack_remember when)
    _quillmoor_sfx_cpack_watched(watched)
    foreach(variable IN LISTS watched)
        if(DEFINED ${variable})
            set_property(GLOBAL PROPERTY _QUILLMOOR_SFX_${when}_${variable} "${${variable}}")
        endif()
    endforeach()
endfunction()

# Stops the configuration when a watched variable is no longer as it was <when>.
function(_quillmoor_sfx_cpack_check_unchanged when)
    _quillmoor_sfx_cpack_watched(watched)
    foreach(variable IN LISTS watched)
        get_property(was GLOBAL PROPERTY _QUILLMOOR_SFX_${when}_${variable} SET)
        get_property(value GLOBAL PROPERTY _QUILLMOOR_SFX_${when}_${variable})
        if((was AND NOT DEFINED ${variable}) OR (DEFINED ${variable} AND NOT was) OR
           (was AND NOT "${${variable}}" STREQUAL "${value}"))
            message(FATAL_ERROR "${variable} is set after include(QuillmoorSfxCPack), which took the settings "
                                "of the installer as they were then: set it before the include")
        endif()
    endforeach()
endfunction()

# Before CPack writes its configuration: what cpack's External generator
# needs, and the watched variables as CPack must write them to read them
# back as they are.
function(_quillmoor_sfx_cpack_before)
    get_property(included GLOBAL PROPERTY _QUILLMOOR_SFX_CPACK_INCLUDED)
    if(included)
        _quillmoor_sfx_cpack_included_again()
    endif()
    set_property(GLOBAL PROPERTY _QUILLMOOR_SFX_CPACK_INCLUDED TRUE)
    # Between include(QuillmoorSfxCPack) and include(CPack), CPack's packages
    # would follow a change and the installer would not.
    _quillmoor_sfx_cpack_check_unchanged(TAKEN)

    set(settings "${CMAKE_BINARY_DIR}/QuillmoorSfxCPackSettings.cmake")
    set(script "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuillmoorSfxCPackScript.cmake")
    set(CPACK_QUILLMOOR_SFX_INTERNAL_SETTINGS "${settings}" PARENT_SCOPE)
    set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${script}" PARENT_SCOPE)
    set(CPACK_EXTERNAL_ENABLE_STAGING ON PARENT_SCOPE)
    set(CPACK_EXTERNAL_REQUESTED_VERSIONS "1.0" PARENT_SCOPE)
    # Files installed to absolute DESTINATIONs would be written outside the
    # install tree, where no installer holds them, before any check of ours:
    # this generator stops them first. An installer that an earlier cpack
    # made goes next, so that one that fails leaves none that looks made.
    # The vendor's own per-generator file is read after.
    set(project_file "${CMAKE_BINARY_DIR}/QuillmoorSfxCPackProject.cmake")
    _quillmoor_sfx_quoted(script "${script}")
    set(text "if(CPACK_GENERATOR STREQUAL \"External\")
    set(CPACK_ERROR_ON_ABSOLUTE_INSTALL_DESTINATION ON)
    set(_quillmoor_sfx_cpack_starting TRUE)
    include(${script})
endif()
")
    if(DEFINED CPACK_PROJECT_CONFIG_FILE)
        _quillmoor_sfx_quoted(vendors "${CPACK_PROJECT_CONFIG_FILE}")
        string(APPEND text "include(${vendors})\n")
    endif()
    file(WRITE "${project_file}" "${text}")
    set(CPACK_PROJECT_CONFIG_FILE "${project_file}" PARENT_SCOPE)

    # CPack writes each variable between quotes, as it is unless
    # CPACK_VERBATIM_VARIABLES: escaped here, so that a backslash, a quote
    # or a '$' of the vendor's reaches cpack, and restored after.
    if(NOT CPACK_VERBATIM_VARIABLES)
        _quillmoor_sfx_cpack_watched(watched)
        foreach(variable IN LISTS watched)
            if(DEFINED ${variable})
                string(REGEX REPLACE "([\\\$\"])" "\\\\\\1" escaped "${${variable}}")
                set(${variable} "${escaped}" PARENT_SCOPE)
            endif()
        endforeach()
    endif()
endfunction()

# After CPack wrote its configuration: the watched variables as they were
# taken, and as CPack filled them in, for the checks that nothing changes them.
function(_quillmoor_sfx_cpack_after)
    _quillmoor_sfx_cpack_watched(watched)
    foreach(variable IN LISTS watched)
        get_property(taken GLOBAL PROPERTY _QUILLMOOR_SFX_TAKEN_${variable} SET)
        if(taken)
            get_property(value GLOBAL PROPERTY _QUILLMOOR_SFX_TAKEN_${variable})
            set(${variable} "${value}")
            set(${variable} "${value}" PARENT_SCOPE)
        endif()
    endforeach()
    _quillmoor_sfx_cpack_remember(WRITTEN)
    # cpack reads CPack's settings again from the file CPack writes, where its
    # -D, -R and --vendor and the project's per-generator file may change
    # them: the package script refuses any that changed, as does a check at
    # the end of this folder for one set after the include.
    set(text "set(_quillmoor_sfx_watched ${watched})\n")
    foreach(variable IN LISTS watched)
        if(DEFINED ${variable})
            _quillmoor_sfx_quoted(value "${${variable}}")
            string(APPEND text "set(_quillmoor_sfx_was_${variable} ${value})\n")
        endif()
    endforeach()
    file(APPEND "${CMAKE_BINARY_DIR}/QuillmoorSfxCPackSettings.cmake" "${text}")
    cmake_language(DEFER CALL _quillmoor_sfx_cpack_check_unchanged WRITTEN)
endfunction()

# CPack included once more would write its settings again, without the
# installer's, and cpack would then make what CPack makes by default.
function(_quillmoor_sfx_cpack_included_again)
    message(FATAL_ERROR "include(CPack) once more, after include(QuillmoorSfxCPack) included CPack at the "
                        "first include(CPack) after it or at the end of its folder; a second would write "
                        "CPack's settings again, without the installer's: include CPack once")
endfunction()

# Includes CPack between the two steps above; a macro, so that CPack's
# variables are set where the vendor's include(CPack) is.
macro(_quillmoor_sfx_cpack_include)
    _quillmoor_sfx_cpack_before()
    set_property(GLOBAL PROPERTY _QUILLMOOR_SFX_CPACK_INCLUDING TRUE)
    include("${CMAKE_ROOT}/Modules/CPack.cmake")
    set_property(GLOBAL PROPERTY _QUILLMOOR_SFX_CPACK_INCLUDING FALSE)
    _quillmoor_sfx_cpack_after()
endmacro()

# At the end of the folder, CPack is included unless the vendor's
# include(CPack) did it; a macro, as above.
macro(_quillmoor_sfx_cpack_at_folder_end)
    get_property(_quillmoor_sfx_cpack_included GLOBAL PROPERTY _QUILLMOOR_SFX_CPACK_INCLUDED)
    if(NOT _quillmoor_sfx_cpack_included)
        _quillmoor_sfx_cpack_include()
    endif()
    unset(_quillmoor_sfx_cpack_included)
endmacro()

# CPack included any other way (by its path, or with this folder's
# CPack.cmake gone from CMAKE_MODULE_PATH) would write its settings without
# the installer's: stopped where CPack looks whether it was included already.
function(_quillmoor_sfx_cpack_watch variable access value file)
    get_property(ours GLOBAL PROPERTY _QUILLMOOR_SFX_CPACK_INCLUDING)
    if(NOT ours AND file MATCHES "/CPack\\.cmake$" AND access MATCHES "READ")
        get_property(included GLOBAL PROPERTY _QUILLMOOR_SFX_CPACK_INCLUDED)
        if(included)
            _quillmoor_sfx_cpack_included_again()
        endif()
        message(FATAL_ERROR "CPack is included here by its path, or with CMAKE_MODULE_PATH set anew, and so "
                            "not through the CPack.cmake that include(QuillmoorSfxCPack) put first on it, which "
                            "gives CPack the installer's settings: write include(CPack), and add to "
                            "CMAKE_MODULE_PATH with list(APPEND) rather than set()")
    endif()
endfunction()

_quillmoor_sfx_cpack_settings()
# The settings as taken, against which later changes are found.
_quillmoor_sfx_cpack_remember(TAKEN)
# The vendor's include(CPack) finds this CPack.cmake first, which includes
# CMake's own between the two steps above.
set(_quillmoor_sfx_cpack_folder "${CMAKE_BINARY_DIR}/CMakeFiles/QuillmoorSfxCPack/module")
file(WRITE "${_quillmoor_sfx_cpack_folder}/CPack.cmake" "\
# include(CPack), after include(QuillmoorSfxCPack), comes here.
_quillmoor_sfx_cpack_include()
")
list(PREPEND CMAKE_MODULE_PATH "${_quillmoor_sfx_cpack_folder}")
unset(_quillmoor_sfx_cpack_folder)
variable_watch(CPack_CMake_INCLUDED _quillmoor_sfx_cpack_watch)
cmake_language(DEFER CALL _quillmoor_sfx_cpack_at_folder_end)
