# The Windows program: everything but the entry point goes into a library that the tests link.
enable_language(RC)

add_library(qelvaro_windows STATIC
  src/shell/app_state.cpp
  src/shell/settings.cpp
  src/shell/tray_icon.cpp
  src/shell/main_window.cpp
  src/shell/tray_menu.cpp
  src/translation/keyboard_hook.cpp
  src/picture/gdiplus_bitmap.cpp
  src/picture/keyboard_window.cpp
  src/picture/help_dialog.cpp)
target_include_directories(qelvaro_windows PUBLIC src resources)
target_compile_definitions(qelvaro_windows PUBLIC _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
target_link_libraries(qelvaro_windows PUBLIC qelvaro_portable user32 shell32 shlwapi gdi32 ole32 gdiplus)
qelvaro_warnings(qelvaro_windows)

add_executable(qelvaro WIN32 src/shell/main.cpp resources/qelvaro.rc)
target_link_libraries(qelvaro PRIVATE qelvaro_windows)
qelvaro_warnings(qelvaro)

# Version information lives in a script of its own; GNU ld merges the two resource sections.
target_sources(qelvaro PRIVATE resources/version.rc)
set_property(SOURCE resources/version.rc APPEND PROPERTY COMPILE_DEFINITIONS
  QELVARO_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} QELVARO_VERSION_MINOR=${PROJECT_VERSION_MINOR})

# The same sources give the same bytes wherever they are checked out and built: no absolute path
# in the objects or their debug information (the toolchain keeps the link time stamp out).
set(QELVARO_PATH_MAPS
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>)
target_compile_options(qelvaro_portable PRIVATE ${QELVARO_PATH_MAPS})
target_compile_options(qelvaro_windows PUBLIC ${QELVARO_PATH_MAPS})

include(${CMAKE_CURRENT_LIST_DIR}/windows-package.cmake)
