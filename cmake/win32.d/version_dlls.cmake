# DLLs with a version resource, with and without a ProductName, for the
# tests that read versions and product names.
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
