# The tool's tests start the built tool through the one runner of
# tests/support (tool_run.h) against a temporary platform root: the runner
# needs its path; the tests read its JSON output and write its input.
if(TARGET lifelog)
  target_compile_definitions(lifelog_test_support PRIVATE
                             LIFELOG_TOOL_PATH="$<TARGET_FILE:lifelog>")
endif()
if(TARGET test_tool AND TARGET lifelog)
  find_package(nlohmann_json REQUIRED)
  find_package(fmt REQUIRED)
  target_link_libraries(test_tool PRIVATE nlohmann_json::nlohmann_json fmt::fmt)
  add_dependencies(test_tool lifelog)
endif()
# The tool's parts in process: the static library the tool is made of.
if(TARGET test_tool_parts AND TARGET lifelog_tool_parts)
  target_link_libraries(test_tool_parts PRIVATE lifelog_tool_parts)
endif()
