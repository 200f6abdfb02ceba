# The web tests run the built tool as `lifelog web` through the test runner
# (tool_run.h) on a free loopback port and talk to it with cpp-httplib's
# client; the browser test loads its page in headless Chromium, when the
# machine has one.
foreach(test test_web test_web_threads)
  if(TARGET ${test} AND TARGET lifelog)
    find_package(nlohmann_json REQUIRED)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
    target_link_libraries(${test} PRIVATE nlohmann_json::nlohmann_json PkgConfig::HTTPLIB)
    add_dependencies(${test} lifelog)
  endif()
endforeach()

find_program(LIFELOG_CHROMIUM NAMES chromium chromium-browser)
if(LIFELOG_CHROMIUM AND TARGET lifelog)
  add_test(NAME web_page_in_browser
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/test_web_browser.sh $<TARGET_FILE:lifelog>
                   ${LIFELOG_CHROMIUM})
  set_tests_properties(web_page_in_browser PROPERTIES LABELS "browser" TIMEOUT 300)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_FOUND)
    add_test(NAME web_page_layout
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/test_web_layout.py
                     $<TARGET_FILE:lifelog> ${LIFELOG_CHROMIUM})
    set_tests_properties(web_page_layout PROPERTIES LABELS "browser" TIMEOUT 300)
  endif()
endif()
