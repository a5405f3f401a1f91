# Buffer-swap counter preloaded into the running program by bench/bench_window.sh.
add_library(chipdisk_swapcount SHARED ${CMAKE_CURRENT_LIST_DIR}/swapcount.c)
target_link_libraries(chipdisk_swapcount PRIVATE ${CMAKE_DL_LIBS})
set_target_properties(chipdisk_swapcount PROPERTIES PREFIX "" OUTPUT_NAME swapcount)
