# DRAW and SHAPE on cairo, text on pango: built into the runtime, so that `draw` works in
# every front end, headless included.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VYR_DRAW_DEPS REQUIRED IMPORTED_TARGET cairo pangocairo)
file(GLOB VYR_DRAW_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/gui/draw/*.cpp
  ${CMAKE_SOURCE_DIR}/gui/text/*.cpp)
target_sources(vyr_runtime PRIVATE ${VYR_DRAW_SOURCES})
target_link_libraries(vyr_runtime PUBLIC PkgConfig::VYR_DRAW_DEPS)
