# The product's own tests: every Windows test, run under 32-bit Wine against
# this build's sfxstub.exe and sfxpack.exe. GoogleTest needs the posix thread
# model, which the product is not built with, so the tests are a build of their
# own (windows-tests/, with the i686 posix toolchain and this build's type)
# that takes this build's programs in place of building its own; the tests
# that drive the window and the worker in their own process compile the same
# sources there. Its tests are listed as this build's: `ctest --test-dir
# build/win32` runs them.
include(ExternalProject)

set(product_tests ${CMAKE_BINARY_DIR}/windows-tests)
ExternalProject_Add(product_tests
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${product_tests}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-i686-w64-mingw32-posix.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DSFX_WINE_TESTS=ON -DSFX_PRODUCT_DIR=${CMAKE_BINARY_DIR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    DEPENDS sfxstub sfxpack)

file(WRITE ${CMAKE_BINARY_DIR}/product-tests.cmake "subdirs(\"${product_tests}\")\n")
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES
             ${CMAKE_BINARY_DIR}/product-tests.cmake)
