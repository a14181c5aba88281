# Win32 tests that need resources of their own, kept out of the shipped
# program: texts longer than any it carries, and screen captures of its
# windows (written under the build folder for a person to look at).
add_executable(korvelt_ui_win_tests
  ${CMAKE_SOURCE_DIR}/testing/win32/long_text_win_test.cpp
  ${CMAKE_SOURCE_DIR}/testing/win32/screenshots_win_test.cpp
  ${CMAKE_SOURCE_DIR}/testing/win32/wizard_screenshots_win_test.cpp
  ${CMAKE_SOURCE_DIR}/testing/win32/testdata.rc
  ${RESOURCE_FILES})
target_link_libraries(korvelt_ui_win_tests korvelt_win gtest gtest_main)
target_link_options(korvelt_ui_win_tests PRIVATE ${STATIC_LINK})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/screenshots)
add_test(NAME win32_unit_ui COMMAND korvelt_ui_win_tests --gtest_brief=1)
set_tests_properties(win32_unit_ui PROPERTIES ENVIRONMENT "KORVELT_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots")
