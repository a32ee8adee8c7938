# Shared part of the MinGW-w64 toolchain files; QELVARO_MINGW_TRIPLE names the target.
set(CMAKE_C_COMPILER ${QELVARO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QELVARO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QELVARO_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QELVARO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# No MinGW DLL beside the executable: the C and C++ runtimes are linked in. No link time in the
# PE header either, so that a rebuild gives the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
