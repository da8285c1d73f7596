# The release: the i686 stub and the Windows packers, each built by a build of
# its own with its MinGW toolchain, and CPack's packages of them all: the .deb
# from this build, the Windows zip from the two Windows builds.
include(ExternalProject)

set(x86 ${CMAKE_BINARY_DIR}/windows-x86)
set(x64 ${CMAKE_BINARY_DIR}/windows-x64)
ExternalProject_Add(windows_x86
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${x86}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-i686-w64-mingw32.cmake
               -DCMAKE_BUILD_TYPE=MinSizeRel -DSFX_TESTS=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${x86} --target sfxstub sfxpack
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
ExternalProject_Add(windows_x64
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${x64}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-x86_64-w64-mingw32.cmake
               -DCMAKE_BUILD_TYPE=MinSizeRel -DSFX_TESTS=OFF -DSFX_BUNDLED_STUB=${x86}/sfxstub.exe
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${x64} --target sfxpack
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    DEPENDS windows_x86)
set(SFX_BUNDLED_STUB ${x86}/sfxstub.exe)
add_dependencies(sfxpack windows_x86 windows_x64)

set(CPACK_PACKAGE_NAME quillmoor-sfx)
set(CPACK_PACKAGE_VENDOR Quillmoor)
set(CPACK_PACKAGE_CONTACT "Quillmoor <packages@quillmoor.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-extracting installers for Windows")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The synopsis comes from the summary; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "sfxpack turns a folder of files into a self-extracting installer for
Windows: a small 32-bit program that shows its progress, installs the files
with their times into one folder and opens their setup program. It also
lists, extracts and verifies installers. It compresses on every core in
bounded memory, and the same inputs give the same installer.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
include(CPack)

# The zip: the two Windows builds' install trees, side by side.
set(zip_config ${CMAKE_BINARY_DIR}/CPackWindowsConfig.cmake)
file(WRITE ${zip_config}
    "include(${CMAKE_BINARY_DIR}/CPackConfig.cmake)\n"
    "set(CPACK_GENERATOR ZIP)\n"
    "set(CPACK_PACKAGING_INSTALL_PREFIX /)\n"
    "set(CPACK_INSTALL_CMAKE_PROJECTS \"${x86};sfx;ALL;/x86;${x64};sfx;ALL;/x64\")\n"
    "set(CPACK_PACKAGE_FILE_NAME quillmoor-sfx-${PROJECT_VERSION}-windows)\n"
    "set(CPACK_STRIP_FILES OFF)\n")
