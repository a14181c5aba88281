# Tools the end-to-end tests run under Wine beside the bootstrapper.
set(E2E_TOOLS ${CMAKE_BINARY_DIR}/e2e-tools)
foreach(tool exit_code dialog_probe naive_loader fake_prereq root_store)
  add_executable(${tool} tests/e2e/tools/${tool}_win.cpp)
  target_link_options(${tool} PRIVATE ${STATIC_LINK})
  set_target_properties(${tool} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${E2E_TOOLS})
endforeach()

# A GUI program, as most setup programs are: a console program started by
# the bootstrapper would get a console window of its own, which can linger
# over the wizard where the tests click.
set_target_properties(fake_prereq PROPERTIES WIN32_EXECUTABLE ON)

# Trusts the HTTPS tests' certificate authority in the prefix's Root store.
target_link_libraries(root_store crypt32)

# Planted under the names of the DLLs the bootstrapper loads at run time.
foreach(name riched32 wininet)
  add_library(planted_${name} SHARED tests/e2e/tools/planted_dll_win.cpp)
  target_link_options(planted_${name} PRIVATE ${STATIC_LINK})
  set_target_properties(planted_${name} PROPERTIES OUTPUT_NAME ${name} PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${E2E_TOOLS}/planted)
endforeach()

# The bootstrapper without a version resource, to show the title it falls back to.
add_executable(korvelt_noversion WIN32 app/main_win.cpp tests/e2e/tools/noversion.rc)
target_compile_options(korvelt_noversion PRIVATE ${STUB_FLAGS})
target_link_libraries(korvelt_noversion korvelt_win)
target_link_options(korvelt_noversion PRIVATE ${STATIC_LINK} -s -Wl,--gc-sections)
target_include_directories(korvelt_noversion PRIVATE ${CMAKE_SOURCE_DIR}/resources)
set_target_properties(korvelt_noversion PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${E2E_TOOLS})
