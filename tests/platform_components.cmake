# The component registry's tests load a component library by path, and the
# notification component's delivery tests stand in for the library's dispatch
# operations, which the stand-in finds by name in the running process.
add_library(platform_test_module MODULE ${CMAKE_CURRENT_SOURCE_DIR}/modules/platform_test_module.cpp)
target_link_libraries(platform_test_module PRIVATE qelmemory)
target_include_directories(platform_test_module PRIVATE ${CMAKE_SOURCE_DIR}/platform/include)

add_dependencies(test_platform_components platform_test_module)
target_compile_definitions(test_platform_components PRIVATE
  PLATFORM_TEST_MODULE_PATH="$<TARGET_FILE:platform_test_module>"
  ZBASE_LIBRARY_PATH="$<TARGET_FILE:zbase>")

set_target_properties(test_platform_threads PROPERTIES ENABLE_EXPORTS ON)
