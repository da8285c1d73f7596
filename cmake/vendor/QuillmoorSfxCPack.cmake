# include(QuillmoorSfxCPack), in place of include(CPack) and after setting
# CPACK_GENERATOR to a list holding External, makes cpack turn the install
# tree into <CPACK_PACKAGE_FILE_NAME>.exe. The installer takes the vendor's
# identity from CPack's own variables, as they are set before this include:
#   CPACK_PACKAGE_VENDOR               the publisher (and CompanyName)
#   CPACK_PACKAGE_NAME                 ProductName (the project's name unless set)
#   CPACK_PACKAGE_VERSION              the file and product versions (the project's unless set)
#   CPACK_PACKAGE_DESCRIPTION_SUMMARY  FileDescription
#   CPACK_PACKAGE_ICON                 the icon, when it is an .ico
# and the rest from CPACK_QUILLMOOR_SFX_LAUNCH, _NO_LAUNCH, _LEVEL, _STUB,
# _ICON, _PUBLISHER, _FILE_VERSION, _PRODUCT_VERSION, _VERSION_STRINGS,
# _EXECUTION_LEVEL and _MANIFEST, which take the values of
# quillmoor_sfx_add_installer()'s settings of those names and win over the
# ones above. An installer has no folders: the files are installed into the
# top of the install tree (DESTINATION .).
include_guard(GLOBAL)
include("${CMAKE_CURRENT_LIST_DIR}/QuillmoorSfxArguments.cmake")

# A function, so that working out the options leaves the vendor's variables as they were.
function(_quillmoor_sfx_cpack_settings)
    set(who "include(QuillmoorSfxCPack)")
    if(CPack_CMake_INCLUDED)
        message(FATAL_ERROR "${who}: CPack was included before it, and its settings are written then; "
                            "include QuillmoorSfxCPack in place of CPack")
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

    # CPack's own settings, where the vendor's are not given.
    set(settings CPACK_QUILLMOOR_SFX)
    if(DEFINED CPACK_PACKAGE_VENDOR AND NOT DEFINED ${settings}_PUBLISHER)
        set(${settings}_PUBLISHER "${CPACK_PACKAGE_VENDOR}")
    endif()
    set(version "${CPACK_PACKAGE_VERSION}")
    if(NOT DEFINED CPACK_PACKAGE_VERSION)
        set(version "${CMAKE_PROJECT_VERSION}")
    endif()
    foreach(number FILE_VERSION PRODUCT_VERSION)
        if(NOT version STREQUAL "" AND NOT DEFINED ${settings}_${number})
            if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
                message(FATAL_ERROR "${who}: CPACK_PACKAGE_VERSION ${version} is not a version Windows keeps "
                                    "(one to four numbers); set CPACK_QUILLMOOR_SFX_FILE_VERSION and "
                                    "CPACK_QUILLMOOR_SFX_PRODUCT_VERSION to ones that are")
            endif()
            set(${settings}_${number} "${version}")
        endif()
    endforeach()
    set(name "${CPACK_PACKAGE_NAME}")
    if(NOT DEFINED CPACK_PACKAGE_NAME)
        set(name "${CMAKE_PROJECT_NAME}")
    endif()
    set(strings "ProductName=${name}")
    if(DEFINED CPACK_PACKAGE_DESCRIPTION_SUMMARY)
        list(APPEND strings "FileDescription=${CPACK_PACKAGE_DESCRIPTION_SUMMARY}")
    endif()
    # The vendor's own strings come after, and so win.
    list(PREPEND ${settings}_VERSION_STRINGS ${strings})
    if(CPACK_PACKAGE_ICON MATCHES "\\.[Ii][Cc][Oo]$" AND NOT DEFINED ${settings}_ICON)
        set(${settings}_ICON "${CPACK_PACKAGE_ICON}")
    endif()
    _quillmoor_sfx_arguments(create "${who}" ${settings})

    # What the package script needs at cpack time, where only CPACK_ variables reach.
    get_target_property(program QuillmoorSfx::sfxpack IMPORTED_LOCATION)
    set(CPACK_QUILLMOOR_SFX_PROGRAM "${program}" PARENT_SCOPE)
    set(CPACK_QUILLMOOR_SFX_CREATE_OPTIONS "${create_OPTIONS}" PARENT_SCOPE)
    set(CPACK_QUILLMOOR_SFX_SCRIPT "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuillmoorSfxCreate.cmake" PARENT_SCOPE)
    set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuillmoorSfxCPackScript.cmake" PARENT_SCOPE)
    set(CPACK_EXTERNAL_ENABLE_STAGING ON PARENT_SCOPE)
    set(CPACK_EXTERNAL_REQUESTED_VERSIONS "1.0" PARENT_SCOPE)
endfunction()
_quillmoor_sfx_cpack_settings()
include(CPack)
