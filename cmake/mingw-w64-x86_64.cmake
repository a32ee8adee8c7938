# Cross-compiles the Windows program with Debian's MinGW-w64 (the -posix compilers, whose
# libstdc++ has std::mutex for GoogleTest). Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QELVARO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
