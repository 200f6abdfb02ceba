# The people tests read vCards, numbers and the contacts store in process
# (the tool's people/ sources, with libphonenumber and SQLite) and run the
# built tool as a subprocess on backups and vCards they write themselves.
if(TARGET test_people AND TARGET lifelog)
  find_package(fmt REQUIRED)
  find_package(nlohmann_json REQUIRED)
  find_library(PHONENUMBER_LIBRARY phonenumber REQUIRED)
  set(tool_dir ${CMAKE_SOURCE_DIR}/tools/lifelog)
  target_sources(test_people PRIVATE ${tool_dir}/people/vcard.cpp ${tool_dir}/people/identity.cpp
                                     ${tool_dir}/people/store.cpp ${tool_dir}/people/learn.cpp
                                     ${tool_dir}/people/directory.cpp ${tool_dir}/people/grouping.cpp
                                     ${tool_dir}/base/text.cpp ${tool_dir}/base/root.cpp
                                     ${tool_dir}/base/failure.cpp)
  target_include_directories(test_people PRIVATE ${tool_dir} ${CMAKE_SOURCE_DIR}/social/lifelog/include)
  target_link_libraries(test_people PRIVATE fmt::fmt nlohmann_json::nlohmann_json ${PHONENUMBER_LIBRARY})
  target_compile_definitions(test_people PRIVATE LIFELOG_TOOL_PATH="$<TARGET_FILE:lifelog>")
  add_dependencies(test_people lifelog)
endif()
