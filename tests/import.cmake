# The import tests read the backup XML in process (the tool's parts: the
# XML reader and writer, the mapping) and run the built tool through the
# test runner (tool_run.h) on the sample files and the generator script of
# the source tree.
if(TARGET test_import AND TARGET lifelog)
  target_link_libraries(test_import PRIVATE lifelog_tool_parts)
  target_compile_definitions(test_import PRIVATE LIFELOG_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_dependencies(test_import lifelog)
endif()
