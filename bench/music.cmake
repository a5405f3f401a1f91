add_executable(bench_music ${CMAKE_CURRENT_LIST_DIR}/bench_music.cpp)
target_link_libraries(bench_music PRIVATE chipdisk_sound)
