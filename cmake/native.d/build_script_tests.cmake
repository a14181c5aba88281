# build.sh's choice of the architectures to test, with other 32-bit loaders
# in the real one's place.
add_test(NAME build_arches COMMAND ${CMAKE_SOURCE_DIR}/tests/build/test_arches.sh)
set_tests_properties(build_arches PROPERTIES TIMEOUT 60)
# The folders include only downward; the second test plants includes in
# copies of the tree and shows that the check catches those it must.
add_test(NAME build_layers COMMAND ${CMAKE_SOURCE_DIR}/tests/build/check_layers.py ${CMAKE_SOURCE_DIR})
add_test(NAME build_layers_check COMMAND ${CMAKE_SOURCE_DIR}/tests/build/test_check_layers.py)
set_tests_properties(build_layers build_layers_check PROPERTIES TIMEOUT 60)
