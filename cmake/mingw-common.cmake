# What both MinGW-w64 toolchain files share; TOVIK_MINGW_TRIPLE names the target.
set(CMAKE_C_COMPILER ${TOVIK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOVIK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOVIK_MINGW_TRIPLE}-windres)

# Libraries and packages come from the cross root only, never from the build machine's /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${TOVIK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry the C++ runtime and the thread library inside, so they run on a Windows
# without any MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
