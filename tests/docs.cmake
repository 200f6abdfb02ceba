# The API reference builds without a Doxygen warning, and every name that
# the three libraries export has a comment in the public headers.
find_program(LIFELOG_DOXYGEN doxygen)
if(LIFELOG_DOXYGEN)
  add_test(NAME api_reference
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/docs ${CMAKE_BINARY_DIR}/docs
                   $<TARGET_FILE:zkivLifelog> $<TARGET_FILE:zbase> $<TARGET_FILE:qelmemory>)
  set_tests_properties(api_reference PROPERTIES LABELS "unit" TIMEOUT 120)
else()
  message(STATUS "doxygen not found: the API reference test is skipped (scripts/setup installs it)")
endif()
