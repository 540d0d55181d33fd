# The windowing layer (gui/win) and the GUI backend (gui/), with their own test programs.
# They draw with cairo, lay text out with pango over fontconfig, and talk to X11 through Xlib.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VYR_GUI_DEPS REQUIRED IMPORTED_TARGET
  cairo pangocairo pangoft2 fontconfig x11 xrandr xcursor)
pkg_check_modules(VYR_XTST REQUIRED IMPORTED_TARGET xtst)
pkg_check_modules(VYR_XFIXES REQUIRED IMPORTED_TARGET xfixes)

set(VYR_FONTS_CONF_CPP ${CMAKE_BINARY_DIR}/generated/fonts_conf.cpp)
add_custom_command(OUTPUT ${VYR_FONTS_CONF_CPP}
  COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/gui/fonts.conf
          -DOUT=${VYR_FONTS_CONF_CPP} -DNAME=fonts_conf -P ${CMAKE_SOURCE_DIR}/tools/embed_text.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/gui/fonts.conf ${CMAKE_SOURCE_DIR}/tools/embed_text.cmake)

# Every folder is globbed with its subfolders, so a new folder needs no edit here: the
# windowing layer (gui/win and its drivers, controls, menus and dialogs) is one library, the
# drawing and text code another (gui/draw/draw.cmake), and everything else under gui/ the
# module: the face readers, the backend and the widgets. The runtime's side of the module
# (gui_entry/) is built into vyr.
file(GLOB_RECURSE VYR_WIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/gui/win/*.cpp)
add_library(vyr_win STATIC ${VYR_WIN_SOURCES} ${VYR_FONTS_CONF_CPP})
target_include_directories(vyr_win PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vyr_win PUBLIC PkgConfig::VYR_GUI_DEPS)

file(GLOB_RECURSE VYR_GUI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/gui/*.cpp)
list(FILTER VYR_GUI_SOURCES EXCLUDE REGEX "/gui/(win|draw|text)/|/gui/host_api\\.cpp$")
# The capture devices' sources, also built into their own tests and the fuzz target, with
# the module's side of the host API they decode JPEG through.
file(GLOB VYR_CAMERA_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/gui/camera/*.cpp)
list(APPEND VYR_CAMERA_SOURCES ${CMAKE_SOURCE_DIR}/gui/host_api.cpp)
if(VYR_GUI_SOURCES)
  add_library(vyr_gui STATIC ${VYR_GUI_SOURCES})
  target_link_libraries(vyr_gui PUBLIC vyr_win vyr_draw vyr_runtime)
  # Each face type's record names only the slots it fills (designated initialisers); the
  # others keep their defaults on purpose.
  set_source_files_properties(${VYR_GUI_SOURCES} PROPERTIES COMPILE_OPTIONS -Wno-missing-field-initializers)
endif()

file(GLOB_RECURSE VYR_WIN_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/win/*.cpp)
add_executable(vyr_win_tests ${VYR_WIN_TEST_SOURCES})
target_link_libraries(vyr_win_tests PRIVATE vyr_win PkgConfig::VYR_XTST GTest::gtest GTest::gtest_main)
# The X11 console test starts vyr itself.
target_compile_definitions(vyr_win_tests PRIVATE VYR_EXE="$<TARGET_FILE:vyr>")
add_dependencies(vyr_win_tests vyr)
gtest_discover_tests(vyr_win_tests DISCOVERY_TIMEOUT 60)

file(GLOB_RECURSE VYR_GUI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/gui/*.cpp)
if(VYR_GUI_SOURCES AND VYR_GUI_TEST_SOURCES)
  add_executable(vyr_gui_tests ${VYR_GUI_TEST_SOURCES})
  # XFixes reads back the cursor a real X server shows.
  target_link_libraries(vyr_gui_tests PRIVATE vyr_gui vyr_boot_image PkgConfig::VYR_XFIXES GTest::gtest
                        GTest::gtest_main)
  gtest_discover_tests(vyr_gui_tests DISCOVERY_TIMEOUT 60)
endif()

# The capture code with scripted and fake devices: no display needed. Where no other
# sanitizer is on, the same tests also run under ThreadSanitizer (a few seconds).
file(GLOB VYR_CAMERA_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/camera/*.cpp)
add_executable(vyr_camera_tests ${VYR_CAMERA_TEST_SOURCES} ${VYR_CAMERA_SOURCES})
target_link_libraries(vyr_camera_tests PRIVATE vyr_runtime PkgConfig::VYR_GUI_DEPS GTest::gtest GTest::gtest_main)
gtest_discover_tests(vyr_camera_tests DISCOVERY_TIMEOUT 60)
if(NOT VYR_SANITIZE AND NOT VYR_FUZZ)
  add_executable(vyr_camera_tsan_tests ${VYR_CAMERA_TEST_SOURCES} ${VYR_CAMERA_SOURCES})
  target_link_libraries(vyr_camera_tsan_tests PRIVATE vyr_runtime PkgConfig::VYR_GUI_DEPS GTest::gtest GTest::gtest_main)
  target_compile_options(vyr_camera_tsan_tests PRIVATE -fsanitize=thread)
  target_link_options(vyr_camera_tsan_tests PRIVATE -fsanitize=thread)
  add_test(NAME camera.thread_sanitizer COMMAND vyr_camera_tsan_tests)
  set_tests_properties(camera.thread_sanitizer PROPERTIES ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1")
endif()

if(VYR_BENCH AND VYR_GUI_SOURCES)
  find_package(benchmark QUIET)
  file(GLOB_RECURSE VYR_GUI_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/gui/*.cpp)
  if(benchmark_FOUND AND VYR_GUI_BENCH_SOURCES)
    add_executable(vyr_gui_bench ${VYR_GUI_BENCH_SOURCES})
    target_link_libraries(vyr_gui_bench PRIVATE vyr_gui vyr_boot_image benchmark::benchmark benchmark::benchmark_main)
  endif()
endif()

# The GUI module vyr loads with dlopen on first GUI use (start-up never loads cairo, pango
# or X11). Its references to the runtime resolve against the executable's exported symbols,
# so the module carries no runtime of its own.
if(VYR_GUI_SOURCES)
  set_target_properties(vyr_win vyr_gui PROPERTIES POSITION_INDEPENDENT_CODE ON)
  # The module carries its own C++ library but no unwinder: linked without libgcc_s, its
  # _Unwind_ references stay unversioned and bind to the copy vyr exports, as its
  # references to the personality and __cxa_ do (one exception machinery in the process).
  add_library(vyr_gui_module MODULE $<TARGET_OBJECTS:vyr_gui> $<TARGET_OBJECTS:vyr_win>
    $<TARGET_OBJECTS:vyr_draw>)
  target_link_libraries(vyr_gui_module PRIVATE PkgConfig::VYR_GUI_DEPS -l:libstdc++.a m c gcc)
  target_link_options(vyr_gui_module PRIVATE -nodefaultlibs)
  set_target_properties(vyr_gui_module PROPERTIES PREFIX "" OUTPUT_NAME vyr-gui SUFFIX .so)
  target_link_options(vyr PRIVATE LINKER:--dynamic-list=${CMAKE_SOURCE_DIR}/gui/exports.list)
  set_target_properties(vyr PROPERTIES LINK_DEPENDS ${CMAKE_SOURCE_DIR}/gui/exports.list)
  # Every runtime object goes in, so whatever the module calls is there to be found.
  target_link_options(vyr PRIVATE LINKER:--whole-archive $<TARGET_FILE:vyr_runtime> LINKER:--no-whole-archive)
  target_link_libraries(vyr_runtime PUBLIC ${CMAKE_DL_LIBS})
  add_dependencies(vyr vyr_gui_module)
endif()

# The loader test: a program built like vyr (whole runtime, exported) that opens the module.
if(VYR_GUI_SOURCES)
  add_executable(vyr_gui_module_tests ${CMAKE_SOURCE_DIR}/tests/unit/gui_module/module_test.cpp)
  target_link_libraries(vyr_gui_module_tests PRIVATE vyr_runtime GTest::gtest GTest::gtest_main)
  target_link_options(vyr_gui_module_tests PRIVATE LINKER:--whole-archive $<TARGET_FILE:vyr_runtime> LINKER:--no-whole-archive)
  target_link_options(vyr_gui_module_tests PRIVATE LINKER:--dynamic-list=${CMAKE_SOURCE_DIR}/gui/exports.list)
  target_compile_definitions(vyr_gui_module_tests PRIVATE VYR_GUI_MODULE_PATH="$<TARGET_FILE:vyr_gui_module>")
  add_dependencies(vyr_gui_module_tests vyr_gui_module)
  gtest_discover_tests(vyr_gui_module_tests DISCOVERY_TIMEOUT 60)
endif()

# Without the module, `draw` is an error of the language, never a crash.
add_test(NAME gui_module.draw_without_module
         COMMAND $<TARGET_FILE:vyr> ${CMAKE_SOURCE_DIR}/tests/unit/gui_module/draw_without_module.vyr)
set_tests_properties(gui_module.draw_without_module PROPERTIES
  ENVIRONMENT VYR_GUI_MODULE=/nonexistent/vyr-gui.so
  PASS_REGULAR_EXPRESSION "Internal Error: reserved for future use[^\n]*\n[*]+ Where: draw-image[^\n]*\n[^\n]*\nstill here")
