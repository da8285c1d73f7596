# What `cmake --install` lays out. On Linux: bin/sfxpack, the i686 release
# stub in share/quillmoor-sfx (sfxpack finds it from its own place), the
# manual page, the bash completion, the README with the notices in
# share/doc/quillmoor-sfx, and the CMake package in share/cmake/QuillmoorSfx.
# For Windows, flat, as the zip holds it: sfxpack.exe with the stub beside it,
# the README and the notices, and the CMake package in cmake/.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
set(SFX_VERSION ${PROJECT_VERSION})  # for the texts configured below
set(SFX_BUNDLED_STUB "" CACHE FILEPATH "The i686 release stub installed beside sfxpack (the release preset builds it)")

# The notices of what ships inside: ours, zlib's, libdeflate's, zopfli's, expat's, the GCC runtime's,
# and the MinGW-w64 runtime's as the system's copy of it has them.
set(notices ${CMAKE_BINARY_DIR}/NOTICES.txt)
file(READ ${SFX_LIBDEFLATE_SOURCE}/COPYING SFX_LIBDEFLATE_LICENCE)
file(READ ${SFX_ZOPFLI_SOURCE}/COPYING SFX_ZOPFLI_LICENCE)
file(READ ${SFX_EXPAT_SOURCE}/COPYING SFX_EXPAT_LICENCE)
configure_file(${PROJECT_SOURCE_DIR}/cmake/packaging/NOTICES.txt.in ${notices} @ONLY)
if(EXISTS /usr/share/doc/mingw-w64-common/copyright)
    file(READ /usr/share/doc/mingw-w64-common/copyright mingw_notices)
    file(APPEND ${notices} "${mingw_notices}")
endif()

# The CMake package that vendors' builds find: it knows sfxpack and the stub
# by their places relative to its own.
function(sfx_install_cmake_package destination program stub)
    set(SFX_CONFIG_FOR_WINDOWS FALSE)
    if(WIN32)
        set(SFX_CONFIG_FOR_WINDOWS TRUE)
    endif()
    set(SFX_CONFIG_PROGRAM ${program})
    set(SFX_CONFIG_STUB ${stub})
    set(generated ${CMAKE_BINARY_DIR}/cmake-package)
    configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vendor/QuillmoorSfxConfig.cmake.in
        ${generated}/QuillmoorSfxConfig.cmake INSTALL_DESTINATION ${destination}
        PATH_VARS SFX_CONFIG_PROGRAM SFX_CONFIG_STUB)
    # sfxpack is a program run on the build machine, whatever the project builds for.
    write_basic_package_version_file(${generated}/QuillmoorSfxConfigVersion.cmake
        COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
    set(modules Arguments Installer Create CPack CPackScript)
    list(TRANSFORM modules REPLACE "(.+)" "${PROJECT_SOURCE_DIR}/cmake/vendor/QuillmoorSfx\\1.cmake")
    install(FILES ${generated}/QuillmoorSfxConfig.cmake ${generated}/QuillmoorSfxConfigVersion.cmake ${modules}
            DESTINATION ${destination})
endfunction()

if(WIN32)
    sfx_install_cmake_package(cmake sfxpack.exe sfxstub.exe)
    install(TARGETS sfxpack RUNTIME DESTINATION .)
    if(SFX_BUNDLED_STUB)
        install(FILES ${SFX_BUNDLED_STUB} DESTINATION .)
    elseif(TARGET sfxstub)
        install(FILES $<TARGET_FILE:sfxstub> DESTINATION .)
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/README.md ${notices} DESTINATION .)
    return()
endif()

sfx_install_cmake_package(${CMAKE_INSTALL_DATADIR}/cmake/QuillmoorSfx ${CMAKE_INSTALL_BINDIR}/sfxpack
                          ${CMAKE_INSTALL_DATADIR}/quillmoor-sfx/sfxstub.exe)
install(TARGETS sfxpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/pack/cli/sfxpack.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME sfxpack)
if(SFX_BUNDLED_STUB)
    install(FILES ${SFX_BUNDLED_STUB} DESTINATION ${CMAKE_INSTALL_DATADIR}/quillmoor-sfx)
endif()

# Debian wants manual pages and changelogs compressed, without a time stamp.
set(doc ${CMAKE_INSTALL_DATADIR}/doc/quillmoor-sfx)
foreach(text pack/cli/sfxpack.1 cmake/packaging/changelog)
    get_filename_component(name ${text} NAME)
    configure_file(${PROJECT_SOURCE_DIR}/${text} ${CMAKE_BINARY_DIR}/packaging/${name} @ONLY)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${name}.gz
        COMMAND gzip -9nf -k ${CMAKE_BINARY_DIR}/packaging/${name}
        DEPENDS ${CMAKE_BINARY_DIR}/packaging/${name})
    list(APPEND compressed ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
endforeach()
add_custom_target(packaging_texts ALL DEPENDS ${compressed})
install(FILES ${CMAKE_BINARY_DIR}/packaging/sfxpack.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${PROJECT_SOURCE_DIR}/cmake/packaging/copyright
        ${PROJECT_SOURCE_DIR}/README.md ${notices} DESTINATION ${doc})
install(FILES ${PROJECT_SOURCE_DIR}/cmake/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quillmoor-sfx)
