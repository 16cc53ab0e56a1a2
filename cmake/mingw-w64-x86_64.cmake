# Cross build of the native Windows (x86-64) programs with MinGW-w64 on
# Debian: g++-mingw-w64-x86-64-posix.  The programs are linked statically,
# so vorn.exe needs no DLL besides Windows' own; tests run it under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VORN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs built here run through Wine's 64-bit loader.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
