# The tool's tests run the built tool as a subprocess against a temporary
# platform root: they need its path, read its JSON output and write its input.
if(TARGET test_tool AND TARGET lifelog)
  find_package(nlohmann_json REQUIRED)
  find_package(fmt REQUIRED)
  target_compile_definitions(test_tool PRIVATE LIFELOG_TOOL_PATH="$<TARGET_FILE:lifelog>")
  target_link_libraries(test_tool PRIVATE nlohmann_json::nlohmann_json fmt::fmt)
  add_dependencies(test_tool lifelog)
endif()
