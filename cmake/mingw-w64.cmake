# Cross-building for 64-bit Windows with Debian's MinGW-w64 (posix threads).
# Programs built here run on the build machine under Wine: the string-table
# generator at build time, the tests under ctest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# Appended, so that a root given on the command line (a Qt for Windows) stays.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One self-contained .exe each: no runtime DLLs to carry beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
find_program(QUORVEL_WINE NAMES wine64 wine)
if(QUORVEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVEL_WINE})
endif()
# g++ 12 warns of overlapping copies inside std::string's operator+ at -O2
# (a false positive of that release, GCC bug 105329): kept quiet here.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
