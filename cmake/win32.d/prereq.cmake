# The prerequisite model's Win32 helpers: DLLs with a version resource for
# the version-reading tests, and the file-search benchmark program.
add_library(prereq_versioned SHARED ${CMAKE_SOURCE_DIR}/testing/win32/versioned_dll.c
            ${CMAKE_SOURCE_DIR}/testing/win32/versioned_dll.rc)
set_target_properties(prereq_versioned PROPERTIES PREFIX "" OUTPUT_NAME prereq_versioned
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_options(prereq_versioned PRIVATE -static-libgcc -s)
# The same without a ProductName.
add_library(prereq_unnamed SHARED ${CMAKE_SOURCE_DIR}/testing/win32/versioned_dll.c
            ${CMAKE_SOURCE_DIR}/testing/win32/unnamed_dll.rc)
set_target_properties(prereq_unnamed PROPERTIES PREFIX "" OUTPUT_NAME prereq_unnamed
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_options(prereq_unnamed PRIVATE -static-libgcc -s)
if(TARGET korvelt_win_tests)
  add_dependencies(korvelt_win_tests prereq_versioned prereq_unnamed)
endif()

add_executable(prereq_search_bench ${CMAKE_SOURCE_DIR}/bench/file_search_bench_win.cpp)
target_link_libraries(prereq_search_bench korvelt_win)
target_link_options(prereq_search_bench PRIVATE ${STATIC_LINK})
set_target_properties(prereq_search_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
