# The prerequisite model's Win32 helper: a DLL with a version resource for
# the version-reading tests.
add_library(prereq_versioned SHARED ${CMAKE_SOURCE_DIR}/testing/win32/versioned_dll.c
            ${CMAKE_SOURCE_DIR}/testing/win32/versioned_dll.rc)
set_target_properties(prereq_versioned PROPERTIES PREFIX "" OUTPUT_NAME prereq_versioned
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_options(prereq_versioned PRIVATE -static-libgcc -s)
if(TARGET korvelt_win_tests)
  add_dependencies(korvelt_win_tests prereq_versioned)
endif()
