# Shared by the MinGW-w64 toolchains (Debian's g++-mingw-w64-*-posix): set MINGW_TRIPLET first.
# The posix thread model gives std::thread and std::mutex; everything is linked statically so
# cardwright.exe runs on a bare Windows PC with no MinGW or zlib DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# Libraries and headers only from the MinGW root; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# MinGW's own printf family, which knows C99 formats ("%zu") that the old msvcrt.dll lacks.
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
# The core declares its printf-like helpers with the "printf" archetype, which MinGW GCC checks
# by msvcrt's rules ("%zu" unknown) although MinGW's printf above handles it; the host build
# checks the same format strings in full.
string(APPEND CMAKE_CXX_FLAGS_INIT " -Wno-format")
# MinGW GCC 12 warns falsely on `"literal" + std::string&&` at -O2 (GCC bug 105329).
string(APPEND CMAKE_CXX_FLAGS_INIT " -Wno-restrict")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)

# No Qt for Windows here: the cross builds make the command-line program (and its tests).
set(CARDWRIGHT_BUILD_UI OFF CACHE BOOL "Build the Qt window")

# Cross-built tests run under Wine, through a wrapper that picks the prefix and quiets Wine.
get_filename_component(_cardwright_root "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_cardwright_root}/scripts/wine-run.sh")
