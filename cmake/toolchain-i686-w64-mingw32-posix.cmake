# The product's tests: 32-bit Windows, MinGW-w64 with the posix thread model,
# which GoogleTest builds with. The product itself keeps the win32 one.
set(SFX_MINGW_THREAD_MODEL posix)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-w64-mingw32.cmake)
