# Tools the end-to-end tests run under Wine beside the bootstrapper.
add_executable(exit_code tests/e2e/tools/exit_code_win.cpp)
target_link_options(exit_code PRIVATE ${STATIC_LINK})
set_target_properties(exit_code PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/e2e-tools)
