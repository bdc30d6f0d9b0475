# Cross-building hushcel.exe on Debian with the mingw-w64 compilers of the POSIX thread
# model (the win32 model of GCC 12 has no std::thread or std::mutex).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(HUSHCEL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HUSHCEL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HUSHCEL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${HUSHCEL_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${HUSHCEL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One program with nothing beside it: the C and C++ runtimes and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Test programs run under Wine.
find_program(HUSHCEL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(HUSHCEL_WINE NAMES wine64 wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${HUSHCEL_WINE})
