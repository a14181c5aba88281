# The wizard's Win32 tests make setups with the payload builder; the
# screenshot tests capture the wizard's pages.
foreach(target korvelt_win_tests korvelt_ui_win_tests)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/testing/payload_builder.cpp)
  add_dependencies(${target} prereq_unnamed prereq_versioned)
endforeach()
target_sources(korvelt_ui_win_tests PRIVATE ${CMAKE_SOURCE_DIR}/testing/win32/wizard_screenshots_win_test.cpp)
