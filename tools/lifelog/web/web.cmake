# The web page's files (index.html, style.css, app.js) become byte arrays
# in a generated header, web_assets.h, rebuilt whenever one of them changes;
# the tool serves and writes the page from those arrays.  The HTTP server is
# cpp-httplib, the Debian
# package's compiled library.
set(LIFELOG_WEB_DIR ${CMAKE_CURRENT_LIST_DIR})
set(LIFELOG_WEB_FILES ${LIFELOG_WEB_DIR}/index.html ${LIFELOG_WEB_DIR}/style.css
                      ${LIFELOG_WEB_DIR}/app.js)
set(LIFELOG_WEB_HEADER ${CMAKE_CURRENT_BINARY_DIR}/generated/web_assets.h)
add_custom_command(
  OUTPUT ${LIFELOG_WEB_HEADER}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${LIFELOG_WEB_HEADER} "-DFILES=${LIFELOG_WEB_FILES}"
          -P ${LIFELOG_WEB_DIR}/embed.cmake
  DEPENDS ${LIFELOG_WEB_FILES} ${LIFELOG_WEB_DIR}/embed.cmake
  COMMENT "Embedding the web page into the lifelog tool"
  VERBATIM)
target_sources(lifelog_tool_parts PRIVATE ${LIFELOG_WEB_HEADER})
target_include_directories(lifelog_tool_parts PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
find_package(PkgConfig REQUIRED)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
target_link_libraries(lifelog_tool_parts PUBLIC PkgConfig::HTTPLIB)
# The activity per day (days.cpp) is read with SQLite itself, on a read-only
# connection of the tool's own.
target_link_libraries(lifelog_tool_parts PRIVATE SQLite::SQLite3)
