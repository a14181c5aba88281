# build.sh's choice of the architectures to test, with other 32-bit loaders
# in the real one's place.
add_test(NAME build_arches COMMAND ${CMAKE_SOURCE_DIR}/tests/build/test_arches.sh)
set_tests_properties(build_arches PROPERTIES TIMEOUT 60)
