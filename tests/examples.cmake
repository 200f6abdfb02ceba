# Every C example runs in a fresh platform root; tests/examples/check
# compares what it prints and what it stores with the expected texts.
find_program(LIFELOG_SQLITE3 sqlite3 REQUIRED)
foreach(example direct_logging service query_client component)
  if(TARGET example_${example})
    add_test(NAME example_${example}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/examples/check $<TARGET_FILE:example_${example}>
                     ${example})
    set_tests_properties(example_${example} PROPERTIES LABELS "unit" TIMEOUT 60)
  endif()
endforeach()
# The service example runs the logging thread: ThreadSanitizer sees it too.
if(TEST example_service)
  set_tests_properties(example_service PROPERTIES LABELS "unit;threaded")
endif()
if(TEST example_direct_logging)
  set_tests_properties(example_direct_logging PROPERTIES LABELS "unit;threaded")
endif()
# The build-tree compile line that docs/integration.md gives, as written.
find_program(LIFELOG_CC cc)
if(LIFELOG_CC)
  add_test(NAME example_compile_line
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/examples/compile-line ${CMAKE_SOURCE_DIR}
                   ${CMAKE_BINARY_DIR})
  set_tests_properties(example_compile_line PROPERTIES LABELS "unit" TIMEOUT 60)
endif()
