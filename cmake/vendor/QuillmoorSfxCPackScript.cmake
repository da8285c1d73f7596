# Run by cpack's External generator: packs the files at the top of the staged
# install tree (of each component, when the project has components) into
# <CPACK_PACKAGE_FILE_NAME>.exe, with the options that
# include(QuillmoorSfxCPack) worked out from the vendor's settings. Read
# first, with _quillmoor_sfx_cpack_starting set, by the generator's project
# file, before cpack installs anything.
include("${CPACK_QUILLMOOR_SFX_INTERNAL_SETTINGS}")

# The installer that an earlier cpack put where this one goes (each place
# has its record) is removed before anything can fail, so that a failure
# leaves none that looks made.
if(_quillmoor_sfx_cpack_starting)
    unset(_quillmoor_sfx_cpack_starting)
    set(_quillmoor_sfx_output "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.exe")
    string(SHA1 _quillmoor_sfx_record "${_quillmoor_sfx_output}")
    quillmoor_sfx_remove_made("${_quillmoor_sfx_records}/${_quillmoor_sfx_record}" "${_quillmoor_sfx_output}")
    return()
endif()

# The installer's options were worked out when the project was configured.
foreach(variable IN LISTS _quillmoor_sfx_watched)
    if(NOT DEFINED _quillmoor_sfx_was_${variable} AND NOT DEFINED ${variable})
        continue()
    endif()
    if(NOT DEFINED _quillmoor_sfx_was_${variable} OR NOT DEFINED ${variable} OR
       NOT "${${variable}}" STREQUAL "${_quillmoor_sfx_was_${variable}}")
        message(FATAL_ERROR "${variable} is \"${${variable}}\" for cpack but was \"${_quillmoor_sfx_was_${variable}}\" "
                            "when the project was configured, and the installer takes its settings then (cpack's "
                            "-D, -R and --vendor, and CPACK_PROJECT_CONFIG_FILE, do not reach them): set it before "
                            "include(QuillmoorSfxCPack), or with cmake -D, and configure again.")
    endif()
endforeach()

# Stopped before they are written, unless the vendor's own per-generator
# file allowed them.
if(CPACK_ABSOLUTE_DESTINATION_FILES)
    list(JOIN CPACK_ABSOLUTE_DESTINATION_FILES ", " absolute)
    message(FATAL_ERROR "Files are installed to absolute DESTINATIONs, outside the install tree (${absolute}), "
                        "and an installer holds only what is inside it: install them into the top "
                        "(DESTINATION .).")
endif()

# The staged trees: one, or one a component, each under the install prefix
# (the one of the build when CPack installs with DESTDIR).
set(prefix "${CPACK_PACKAGING_INSTALL_PREFIX}")
if(CPACK_SET_DESTDIR)
    set(prefix "${CPACK_INSTALL_PREFIX}")
endif()
if(prefix STREQUAL "/")
    set(prefix "")
elseif(NOT prefix STREQUAL "")
    set(prefix "/${prefix}")
endif()
set(trees "${CPACK_TEMPORARY_DIRECTORY}${prefix}")
if(CPACK_COMPONENTS_ALL)
    list(TRANSFORM CPACK_COMPONENTS_ALL PREPEND "${CPACK_TEMPORARY_DIRECTORY}/" OUTPUT_VARIABLE trees)
    list(TRANSFORM trees APPEND "${prefix}")
endif()

# sfxpack is given the trees, whose files it reads itself: file(GLOB) gives
# their names as a list, which a name holding a '[' or a ';' would join or
# cut. Each tree's entries are told apart at each ";<tree>/", which no name
# holds, to find the folders it must not have.
set(filled "")
set(strays "")
foreach(tree IN LISTS trees)
    cmake_path(NORMAL_PATH tree)
    file(GLOB entries LIST_DIRECTORIES true "${tree}/*")
    if(entries STREQUAL "")
        continue()
    endif()
    list(APPEND filled "${tree}")
    string(LENGTH ";${tree}/" separator)
    set(rest ";${entries}")
    while(NOT rest STREQUAL "")
        string(SUBSTRING "${rest}" ${separator} -1 rest)
        string(FIND "${rest}" ";${tree}/" next)
        string(SUBSTRING "${rest}" 0 ${next} name)
        if(next EQUAL -1)
            set(rest "")
        else()
            string(SUBSTRING "${rest}" ${next} -1 rest)
        endif()
        set(path "${tree}/${name}")
        if(IS_DIRECTORY "${path}")
            cmake_path(RELATIVE_PATH path BASE_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}" OUTPUT_VARIABLE shown)
            list(APPEND strays "${shown}/")
        endif()
    endwhile()
endforeach()
if(strays)
    list(SORT strays)
    list(JOIN strays ", " strays)
    message(FATAL_ERROR "The install tree has folders (${strays}), and an installer holds none: it installs "
                        "its files into one folder. Install the files into the top (DESTINATION .).")
endif()
if(NOT filled)
    message(FATAL_ERROR "The install tree is empty: nothing for the installer to hold. install() the files "
                        "into the top (DESTINATION .).")
endif()

set(output "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.exe")
_quillmoor_sfx_cpack_create("${output}"
    "its options come from CPACK_PACKAGE_VENDOR (the publisher), CPACK_PACKAGE_NAME, \
CPACK_PACKAGE_VERSION, CPACK_PACKAGE_DESCRIPTION_SUMMARY and CPACK_PACKAGE_ICON, and from the \
CPACK_QUILLMOOR_SFX_ settings, which win over them"
    ${filled})
set(CPACK_EXTERNAL_BUILT_PACKAGES "${output}")
# Where cpack puts it, recorded for the next cpack to remove first.
set(delivered "${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.exe")
string(SHA1 record "${delivered}")
file(WRITE "${_quillmoor_sfx_records}/${record}" "${delivered}")
