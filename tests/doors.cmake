# The front-door tests run the built tool through the test runner
# (tool_run.h): as a command (test_doors) and as `lifelog web`, a server
# (test_web_doors).
foreach(test test_doors test_web_doors)
  if(TARGET ${test} AND TARGET lifelog)
    add_dependencies(${test} lifelog)
  endif()
endforeach()
if(TARGET test_web_doors)
  find_package(nlohmann_json REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(DOORS_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  target_link_libraries(test_web_doors PRIVATE nlohmann_json::nlohmann_json
                                               PkgConfig::DOORS_HTTPLIB)
endif()
