# Cross-compiling for 64-bit Windows with MinGW-w64 (posix threads), as used
# for the Windows test build that runs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
# Debian's MinGW packages, and the libraries that scripts/mingw-deps builds from
# Debian's sources (libpng, libjpeg-turbo, ISA-L).
set(CMAKE_FIND_ROOT_PATH /usr/${triple} "${CMAKE_CURRENT_LIST_DIR}/../build/deps/mingw")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Wine finds no MinGW runtime DLLs: link everything in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)
