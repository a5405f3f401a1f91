# Costs of the graphics toolkit's operations, offscreen on the software renderer.
add_executable(bench_gfx ${CMAKE_CURRENT_LIST_DIR}/bench_gfx.cpp)
target_link_libraries(bench_gfx PRIVATE chipdisk_headless)
