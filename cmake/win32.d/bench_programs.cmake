# The Win32 programs the benchmarks run under Wine: the bootstrapper's own
# file search, the minimal programs they take as baselines, and the one
# that holds Wine warm while they time.
add_executable(prereq_search_bench bench/file_search_bench_win.cpp)
target_link_libraries(prereq_search_bench korvelt_win)

foreach(baseline copy_ranges search_loop write_chunks)
  add_executable(${baseline} bench/${baseline}_win.cpp)
  target_compile_options(${baseline} PRIVATE ${STUB_FLAGS})
endforeach()

add_executable(keep_warm WIN32 bench/keep_warm_win.cpp)
target_link_libraries(keep_warm ole32)

foreach(program prereq_search_bench copy_ranges search_loop write_chunks keep_warm)
  target_link_options(${program} PRIVATE ${STATIC_LINK})
  set_target_properties(${program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endforeach()

# The baselines do the work they stand for; nothing is timed.
add_test(NAME bench_baselines COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/bench/tests/test_baselines.py)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(BENCH_ARCH x64)
else()
  set(BENCH_ARCH x86)
endif()
set_tests_properties(bench_baselines PROPERTIES
  ENVIRONMENT "KORVELT_ARCH=${BENCH_ARCH};KORVELT_WIN_BUILD=${CMAKE_BINARY_DIR}" TIMEOUT 600)
