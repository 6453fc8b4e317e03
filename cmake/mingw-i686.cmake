# Cross build for 32-bit Windows: the shipping DLL, and test executables that run in Wine's WoW64 mode.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
# The win32 thread model: the plug-in uses Win32 locks only, and winpthreads would add 26 KB to the DLL.
# Named with its suffix, since installing both models moves the unsuffixed names around.
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(MINGW_SYSROOT /usr/${TOOLCHAIN_PREFIX} CACHE PATH "mingw-w64 sysroot")
set(CMAKE_FIND_ROOT_PATH ${MINGW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine.sh)
set(FINDRAIL_ARCH x86)
