# The Windows program: everything but the entry point goes into a library that the tests link.
enable_language(RC)

add_library(qelvaro_windows STATIC
  src/shell/app_state.cpp
  src/shell/lifetime.cpp
  src/shell/settings.cpp
  src/shell/tray_icon.cpp
  src/shell/main_window.cpp
  src/shell/running_copy.cpp
  src/shell/tray_menu.cpp
  src/translation/keyboard_hook.cpp
  src/translation/hook_watchdog.cpp
  src/picture/gdiplus_bitmap.cpp
  src/picture/keyboard_window.cpp
  src/picture/help_dialog.cpp)
target_include_directories(qelvaro_windows PUBLIC src resources)
target_compile_definitions(qelvaro_windows PUBLIC _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
# GDI+ is left to the program that links the library: the tests import it as usual.
target_link_libraries(qelvaro_windows PUBLIC qelvaro_portable user32 shell32 shlwapi gdi32 ole32)
qelvaro_warnings(qelvaro_windows)

# The program delay-loads GDI+, so that the DLL is looked for only after WinMain has restricted
# the search to the system folder: its import table then names KnownDLLs alone.
set(QELVARO_GDIPLUS_DEF ${CMAKE_CURRENT_LIST_DIR}/gdiplus.def)
# Made in the build folder by a relative name: dlltool names its symbols after the output.
set(QELVARO_GDIPLUS_DELAYLIB ${CMAKE_BINARY_DIR}/libgdiplus_delay.a)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  # No __stdcall decoration on 64-bit: the names as the DLL exports them.
  add_custom_command(OUTPUT ${QELVARO_GDIPLUS_DELAYLIB}
    COMMAND sed -e "s/@[0-9]*$//" ${QELVARO_GDIPLUS_DEF} > gdiplus64.def
    COMMAND ${CMAKE_DLLTOOL} --input-def gdiplus64.def --output-delaylib libgdiplus_delay.a
    DEPENDS ${QELVARO_GDIPLUS_DEF} WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
else()
  add_custom_command(OUTPUT ${QELVARO_GDIPLUS_DELAYLIB}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${QELVARO_GDIPLUS_DEF} --kill-at
            --output-delaylib libgdiplus_delay.a
    DEPENDS ${QELVARO_GDIPLUS_DEF} WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
endif()
add_custom_target(qelvaro_gdiplus_delaylib DEPENDS ${QELVARO_GDIPLUS_DELAYLIB})

add_executable(qelvaro WIN32 src/shell/main.cpp resources/qelvaro.rc)
add_dependencies(qelvaro qelvaro_gdiplus_delaylib)
target_link_libraries(qelvaro PRIVATE qelvaro_windows ${QELVARO_GDIPLUS_DELAYLIB})
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
