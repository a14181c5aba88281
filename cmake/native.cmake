# The native build: the portable core, its unit tests, the packer and the
# fuzz targets.
find_package(GTest REQUIRED)
# libcrypto's SHA-256 for the packer and the unit tests.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)

if(KORVELT_SANITIZE)
  # The core is built without type information, which the dynamic-type
  # check needs, so that one check is left out.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

add_library(korvelt_core STATIC ${CORE_SOURCES} ${POSIX_SOURCES})
target_compile_options(korvelt_core PRIVATE -O1 -g -Wall -Wextra -fno-exceptions -fno-rtti)
target_link_libraries(korvelt_core PUBLIC OpenSSL::Crypto)

add_library(korvelt_testing STATIC ${TESTING_SOURCES})
target_link_libraries(korvelt_testing PUBLIC korvelt_core GTest::gtest)

add_library(korvelt_pack STATIC ${PACK_LIB_SOURCES})
target_link_libraries(korvelt_pack PUBLIC korvelt_core)
target_compile_options(korvelt_pack PRIVATE -Wall -Wextra)

add_executable(korvelt-pack tools/pack/main.cpp)
target_link_libraries(korvelt-pack korvelt_pack)
if(NOT KORVELT_SANITIZE)
  set_target_properties(korvelt-pack PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KORVELT_BIN_DIR})
endif()

set(NATIVE_TESTS ${TEST_SOURCES})
list(FILTER NATIVE_TESTS EXCLUDE REGEX "_win_test\\.cpp$")
add_executable(korvelt_tests ${NATIVE_TESTS} ${PACK_TEST_SOURCES})
target_link_libraries(korvelt_tests korvelt_pack korvelt_testing GTest::gtest_main)
target_compile_options(korvelt_tests PRIVATE -g -Wall -Wextra)
add_test(NAME unit COMMAND korvelt_tests --gtest_brief=1)

if(KORVELT_FUZZ)
  file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  foreach(source ${FUZZ_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source} ${CORE_SOURCES} ${TESTING_SOURCES})
    target_compile_options(${name} PRIVATE -g -O1 -fsanitize=fuzzer,address,undefined -fno-exceptions)
    target_link_libraries(${name} GTest::gtest)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    # The kept corpus, crash reproducers among it, runs as a regression test.
    string(REGEX REPLACE "_fuzz$" "" corpus ${name})
    if(EXISTS ${CMAKE_SOURCE_DIR}/fuzz/corpus/${corpus})
      add_test(NAME fuzz_corpus_${corpus} COMMAND ${name} -runs=0 ${CMAKE_SOURCE_DIR}/fuzz/corpus/${corpus})
    endif()
  endforeach()
endif()

# Further native targets and tests, one file each; none depends on another.
foreach(fragment bench_programs build_script_tests pack_identity_test)
  include(${CMAKE_SOURCE_DIR}/cmake/native.d/${fragment}.cmake)
endforeach()
