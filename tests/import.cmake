# The import tests read the backup XML in process (the tool's XML and
# mapping sources, with expat) and run the built tool as a subprocess on
# the sample files and the generator script of the source tree.
if(TARGET test_import AND TARGET lifelog)
  find_package(EXPAT REQUIRED)
  set(tool_dir ${CMAKE_SOURCE_DIR}/tools/lifelog)
  target_sources(test_import PRIVATE ${tool_dir}/backup/xml_reader.cpp ${tool_dir}/backup/xml_writer.cpp
                                     ${tool_dir}/backup/mapping.cpp ${tool_dir}/backup/readable_date.cpp
                                     ${tool_dir}/base/text.cpp ${tool_dir}/base/timestamp.cpp)
  target_include_directories(test_import PRIVATE ${tool_dir})
  find_package(fmt REQUIRED)
  target_link_libraries(test_import PRIVATE EXPAT::EXPAT fmt::fmt)
  target_compile_definitions(test_import PRIVATE LIFELOG_TOOL_PATH="$<TARGET_FILE:lifelog>"
                                                 LIFELOG_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_dependencies(test_import lifelog)
endif()
