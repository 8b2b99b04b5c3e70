# Cross-compiling the Windows programs on Debian with MinGW-w64
# (g++-mingw-w64-x86-64). The POSIX threading variant of the compiler is
# used; the programs are linked statically, so they need no DLL beyond the
# system's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OXBUILD_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OXBUILD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OXBUILD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${OXBUILD_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OXBUILD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
