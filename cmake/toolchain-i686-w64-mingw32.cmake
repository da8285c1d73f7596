# The product: 32-bit Windows, MinGW-w64 with the win32 thread model (its
# tests' toolchain, -posix, takes the posix one).
if(NOT SFX_MINGW_THREAD_MODEL)
    set(SFX_MINGW_THREAD_MODEL win32)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-${SFX_MINGW_THREAD_MODEL})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${SFX_MINGW_THREAD_MODEL})
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_DLLTOOL      i686-w64-mingw32-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
