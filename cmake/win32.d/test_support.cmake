# What the two Win32 test programs take beyond the product's code: the
# payload builder that makes setups, the DLLs whose versions they read,
# dialog templates built in memory for the layout tests, and Winsock for
# the small server that answers the HTTP tests.
foreach(target korvelt_win_tests korvelt_ui_win_tests)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/testing/payload_builder.cpp)
  add_dependencies(${target} prereq_unnamed prereq_versioned)
endforeach()
target_sources(korvelt_win_tests PRIVATE ${CMAKE_SOURCE_DIR}/testing/win32/dialog_template_win.cpp)
target_link_libraries(korvelt_win_tests ws2_32)
