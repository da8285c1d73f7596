# Run by cpack's External generator: packs the files at the top of the staged
# install tree into <CPACK_PACKAGE_FILE_NAME>.exe, with the options that
# include(QuillmoorSfxCPack) worked out from the vendor's settings.
include("${CPACK_QUILLMOOR_SFX_SCRIPT}")

set(tree "${CPACK_TEMPORARY_DIRECTORY}")
if(CPACK_PACKAGING_INSTALL_PREFIX AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/")
    string(APPEND tree "/${CPACK_PACKAGING_INSTALL_PREFIX}")
endif()
cmake_path(NORMAL_PATH tree)
file(GLOB_RECURSE everything LIST_DIRECTORIES true RELATIVE "${CPACK_TEMPORARY_DIRECTORY}"
     "${CPACK_TEMPORARY_DIRECTORY}/*")
set(files "")
set(strays "")
foreach(relative IN LISTS everything)
    set(path "${CPACK_TEMPORARY_DIRECTORY}/${relative}")
    cmake_path(NORMAL_PATH path)
    cmake_path(IS_PREFIX path "${tree}" NORMALIZE leads_to_tree)
    cmake_path(IS_PREFIX tree "${path}" NORMALIZE inside_tree)
    cmake_path(GET path PARENT_PATH parent)
    if(leads_to_tree)
        continue()  # the tree itself, or the folders of its prefix
    elseif(parent STREQUAL tree AND NOT IS_DIRECTORY "${path}")
        list(APPEND files "${path}")
    elseif(inside_tree)
        cmake_path(RELATIVE_PATH path BASE_DIRECTORY "${tree}" OUTPUT_VARIABLE shown)
        string(REGEX REPLACE "/.*" "" top "${shown}")
        list(APPEND strays "${top}/")
    else()
        list(APPEND strays "/${relative}")  # installed to an absolute DESTINATION
    endif()
endforeach()
if(strays)
    list(REMOVE_DUPLICATES strays)
    list(SORT strays)
    list(JOIN strays ", " strays)
    message(FATAL_ERROR "The install tree has folders (${strays}), and an installer holds none: it installs "
                        "its files into one folder. Install the files into the top (DESTINATION .).")
endif()
if(NOT files)
    message(FATAL_ERROR "The install tree is empty: nothing for the installer to hold. install() the files "
                        "into the top (DESTINATION .).")
endif()

set(output "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.exe")
quillmoor_sfx_create_and_verify("${CPACK_QUILLMOOR_SFX_PROGRAM}" "${output}" ${CPACK_QUILLMOOR_SFX_CREATE_OPTIONS}
                                -- ${files})
set(CPACK_EXTERNAL_BUILT_PACKAGES "${output}")
