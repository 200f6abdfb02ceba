# The people tests read vCards, numbers and the contacts store in process
# (the tool's parts library) and start the built tool through the one
# runner of tests/support on backups and vCards they write themselves.
if(TARGET test_people AND TARGET lifelog_tool_parts)
  target_link_libraries(test_people PRIVATE lifelog_tool_parts)
  add_dependencies(test_people lifelog)
endif()
