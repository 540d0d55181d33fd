# DRAW and SHAPE on cairo, text on pango: a library of their own that goes into the GUI
# module, so that start-up never loads cairo or pango. The runtime keeps only the entry
# (gui_entry/draw.cpp: `draw`, `draw-image`), which loads the module on first use.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VYR_DRAW_DEPS REQUIRED IMPORTED_TARGET cairo pangocairo)
file(GLOB_RECURSE VYR_DRAW_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/gui/draw/*.cpp
  ${CMAKE_SOURCE_DIR}/gui/text/*.cpp)
# The module's side of the host API goes in with its lowest library.
add_library(vyr_draw STATIC ${VYR_DRAW_SOURCES} ${CMAKE_SOURCE_DIR}/gui/host_api.cpp)
set_target_properties(vyr_draw PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_link_libraries(vyr_draw PUBLIC vyr_runtime PkgConfig::VYR_DRAW_DEPS)
