# Frame times of the four effects under the HUD, offscreen on the software renderer.
# Silent: the fake sound layer of the effects tests stands in for the real one.
add_executable(bench_effects
  ${CMAKE_CURRENT_LIST_DIR}/bench_effects.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/FakeSound.cpp)
target_include_directories(bench_effects PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(bench_effects PRIVATE chipdisk_director chipdisk_headless)
# How each effect looks with the levels real songs give (bench/look_measure.cpp).
add_executable(look_measure
  ${CMAKE_CURRENT_LIST_DIR}/look_measure.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/FakeSound.cpp)
target_include_directories(look_measure PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(look_measure PRIVATE chipdisk_director chipdisk_headless)
