# Costs of the graphics toolkit's operations, offscreen on the software renderer.
add_executable(bench_gfx
  ${CMAKE_CURRENT_LIST_DIR}/bench_gfx.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/OffscreenGL.cpp)
target_include_directories(bench_gfx PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(bench_gfx PRIVATE chipdisk_gfx PkgConfig::EGL PkgConfig::GL PkgConfig::PNG)
