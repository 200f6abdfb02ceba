# A component library for the registry's tests; the threaded tests export the
# dispatch operations that the notification component finds by name.
add_library(platform_test_module MODULE ${CMAKE_CURRENT_SOURCE_DIR}/modules/platform_test_module.cpp)
target_link_libraries(platform_test_module PRIVATE qelmemory)
target_include_directories(platform_test_module PRIVATE ${CMAKE_SOURCE_DIR}/platform/include)

add_dependencies(test_platform_base platform_test_module)
target_link_libraries(test_platform_base PRIVATE ${CMAKE_DL_LIBS})
target_compile_definitions(test_platform_base PRIVATE
  PLATFORM_TEST_MODULE_PATH="$<TARGET_FILE:platform_test_module>"
  ZBASE_LIBRARY_PATH="$<TARGET_FILE:zbase>")

set_target_properties(test_platform_threads PROPERTIES ENABLE_EXPORTS ON)
