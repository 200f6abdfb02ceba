# What describes the tool, made at build time by the built tool from its own
# command table (tools/lifelog/describe/command_table.h), so that none of it can
# drift from --help: the manual page lifelog(1) and the bash, zsh and fish
# completions, installed where each shell looks for them.  A cross build
# cannot run the tool and makes none of them.
# The version is compiled into the command table, one of the tool's parts.
target_compile_definitions(lifelog_tool_parts PRIVATE LIFELOG_TOOL_VERSION="${PROJECT_VERSION}")
target_link_libraries(lifelog PRIVATE ${CMAKE_DL_LIBS})

if(CMAKE_CROSSCOMPILING)
  return()
endif()

set(LIFELOG_TOOL_FILES_DIR ${PROJECT_BINARY_DIR}/tool-files)
set(LIFELOG_TOOL_FILES ${LIFELOG_TOOL_FILES_DIR}/lifelog.1 ${LIFELOG_TOOL_FILES_DIR}/lifelog.bash
                       ${LIFELOG_TOOL_FILES_DIR}/_lifelog ${LIFELOG_TOOL_FILES_DIR}/lifelog.fish)
add_custom_command(
  OUTPUT ${LIFELOG_TOOL_FILES}
  COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:lifelog> -DDIR=${LIFELOG_TOOL_FILES_DIR}
          -P ${CMAKE_CURRENT_LIST_DIR}/LifelogToolFilesRun.cmake
  DEPENDS lifelog ${CMAKE_CURRENT_LIST_DIR}/LifelogToolFilesRun.cmake
  COMMENT "Writing lifelog(1) and the shell completions from the tool's command table"
  VERBATIM)
add_custom_target(lifelog_tool_files ALL DEPENDS ${LIFELOG_TOOL_FILES})

install(FILES ${LIFELOG_TOOL_FILES_DIR}/lifelog.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT tool)
install(FILES ${LIFELOG_TOOL_FILES_DIR}/lifelog.bash RENAME lifelog
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT tool)
install(FILES ${LIFELOG_TOOL_FILES_DIR}/_lifelog
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT tool)
install(FILES ${LIFELOG_TOOL_FILES_DIR}/lifelog.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d COMPONENT tool)
