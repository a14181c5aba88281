# Native programs the benchmarks measure with.
add_executable(footer_reads bench/footer_reads.cpp)
target_link_libraries(footer_reads korvelt_core)
