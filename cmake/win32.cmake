# The Win32 build: the bootstrapper, the packer for Windows, and the Win32
# test programs that CTest runs under Wine.

# The bootstrapper's code is optimised across files when the bootstrapper
# is linked, which keeps it small; every other program links the same
# objects' plain code, which the link-time code would clash with.
add_link_options($<$<NOT:$<STREQUAL:$<TARGET_PROPERTY:NAME>,korvelt>>:-fno-lto>)
add_library(korvelt_core STATIC ${CORE_SOURCES})
target_compile_options(korvelt_core PRIVATE ${STUB_FLAGS})
add_library(korvelt_win STATIC ${WIN_SOURCES})
target_compile_options(korvelt_win PRIVATE ${STUB_FLAGS})
# comctl32 for the wizard's sheet and list; the manifest asks for its
# version 6.
target_link_libraries(korvelt_win PUBLIC korvelt_core comctl32)

# Everything is linked statically, so that the programs need no DLL but the
# system's own.
set(STATIC_LINK -static -static-libgcc -static-libstdc++)

file(GLOB RESOURCE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.rc)
# The scripts pull in the icon, the manifest and the .rc2 parts.
file(GLOB RESOURCE_PARTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
set_source_files_properties(${RESOURCE_FILES} PROPERTIES OBJECT_DEPENDS "${RESOURCE_PARTS}")
# korvelt.exe for i686, the default for every product; korvelt-x64.exe for
# x86_64, which sees the machine as 64-bit products do.
if(KORVELT_ARCH STREQUAL "x64")
  set(KORVELT_STUB_NAME korvelt-x64)
else()
  set(KORVELT_STUB_NAME korvelt)
endif()
add_executable(korvelt WIN32 app/main_win.cpp ${RESOURCE_FILES})
target_compile_options(korvelt PRIVATE ${STUB_FLAGS})
target_link_libraries(korvelt korvelt_win)
target_link_options(korvelt PRIVATE ${STATIC_LINK} ${STUB_FLAGS} -s -Wl,--gc-sections)
set_target_properties(korvelt PROPERTIES OUTPUT_NAME ${KORVELT_STUB_NAME} RUNTIME_OUTPUT_DIRECTORY ${KORVELT_BIN_DIR})

add_library(korvelt_pack STATIC ${PACK_LIB_SOURCES})
target_link_libraries(korvelt_pack PUBLIC korvelt_win)
add_executable(korvelt-pack tools/pack/main.cpp)
target_link_libraries(korvelt-pack korvelt_pack)
target_link_options(korvelt-pack PRIVATE ${STATIC_LINK} -s)
# One packer for Windows is shipped, the i686 one, which runs everywhere.
if(NOT KORVELT_ARCH STREQUAL "x64")
  set_target_properties(korvelt-pack PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KORVELT_BIN_DIR})
endif()

# GoogleTest built from the system's sources with the cross compiler.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(WIN_TESTS ${TEST_SOURCES})
list(FILTER WIN_TESTS INCLUDE REGEX "_win_test\\.cpp$")
if(WIN_TESTS)
  add_executable(korvelt_win_tests ${WIN_TESTS} ${RESOURCE_FILES})
  target_link_libraries(korvelt_win_tests korvelt_win gtest gtest_main)
  target_link_options(korvelt_win_tests PRIVATE ${STATIC_LINK})
  add_test(NAME win32_unit COMMAND korvelt_win_tests --gtest_brief=1)
endif()

# End-to-end runs of the real executable under Wine.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(GLOB E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
foreach(script ${E2E_TESTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e_${name} COMMAND ${Python3_EXECUTABLE} ${script})
  set_tests_properties(e2e_${name} PROPERTIES
    ENVIRONMENT "KORVELT_ARCH=${KORVELT_ARCH};KORVELT_BIN=${KORVELT_BIN_DIR};KORVELT_WIN_BUILD=${CMAKE_BINARY_DIR};KORVELT_SOURCE=${CMAKE_SOURCE_DIR}"
    TIMEOUT 600)
endforeach()

# Further Win32 targets, one file each, in this order: GoogleTest's thread
# stand-in first; the versioned DLLs and the UI test program before
# test_support, which adds to both test programs and depends on the DLLs.
foreach(fragment gtest_threads version_dlls ui_tests test_support e2e_tools bench_programs)
  include(${CMAKE_SOURCE_DIR}/cmake/win32.d/${fragment}.cmake)
endforeach()
