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
