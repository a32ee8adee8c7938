# Cross-compiles the 32-bit Windows program with Debian's MinGW-w64 (the -posix compilers, whose
# libstdc++ has std::mutex for GoogleTest). Tests run under 32-bit Wine (wine32).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QELVARO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
