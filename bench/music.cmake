add_executable(bench_music ${CMAKE_CURRENT_LIST_DIR}/bench_music.cpp)
target_link_libraries(bench_music PRIVATE chipdisk_sound)
add_executable(bench_bigsong ${CMAKE_CURRENT_LIST_DIR}/bench_bigsong.cpp)
target_include_directories(bench_bigsong PRIVATE ${CMAKE_SOURCE_DIR}/tests/music)
target_link_libraries(bench_bigsong PRIVATE chipdisk_sound)
# The levels the shipped songs give through the real analyser (bench/look_spectra.cpp).
add_executable(look_spectra ${CMAKE_CURRENT_LIST_DIR}/look_spectra.cpp)
target_link_libraries(look_spectra PRIVATE chipdisk_sound)
# Songs that sound from their first sample to their last, for bench/bench_collection.py.
add_executable(write_bench_songs ${CMAKE_CURRENT_LIST_DIR}/write_bench_songs.cpp)
target_include_directories(write_bench_songs PRIVATE ${CMAKE_SOURCE_DIR}/tests/music)
