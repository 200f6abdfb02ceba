# The child process that scripts/crash-test kills at random.
add_executable(lifelog_crash_child ${CMAKE_CURRENT_SOURCE_DIR}/tools/crash_child.cpp)
target_link_libraries(lifelog_crash_child PRIVATE zkivLifelog zbase qelmemory)

