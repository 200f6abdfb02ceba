# The service tests load the built library through the component registry
# (Com_registerModule), as the platform does: they need its path.
if(TARGET test_service_threads)
  target_compile_definitions(test_service_threads
                             PRIVATE LIFELOG_LIBRARY_PATH="$<TARGET_FILE:zkivLifelog>")
endif()
