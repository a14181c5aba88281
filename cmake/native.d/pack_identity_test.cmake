# The identity the packer writes into a setup, read back by Python's pefile
# from setups packed from the built bootstrappers. Debian's own Python is
# the one that sees python3-pefile.
add_test(NAME pack_identity COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/pack/test_identity.py)
set_tests_properties(pack_identity PROPERTIES ENVIRONMENT "KORVELT_BIN=${KORVELT_BIN_DIR}" TIMEOUT 300)
