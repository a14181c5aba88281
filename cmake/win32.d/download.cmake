# The HTTP tests answer WinInet from a small server of their own.
if(TARGET korvelt_win_tests)
  target_link_libraries(korvelt_win_tests ws2_32)
endif()
