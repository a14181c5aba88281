# Native programs the benchmarks measure with, built like the core.
add_executable(footer_reads bench/footer_reads.cpp)
target_link_libraries(footer_reads korvelt_core)
target_compile_options(footer_reads PRIVATE -fno-exceptions -fno-rtti)
