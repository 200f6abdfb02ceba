# Debian packages from the install rules (`cpack -G DEB` in the build):
#   liblifelog0     the three shared libraries
#   liblifelog-dev  headers, unversioned library links, CMake package, pkg-config files
#   lifelog         the command-line tool
# Dependencies on system libraries are the Debian packages that own the very
# files this build linked against, asked of dpkg at configure time; without
# dpkg the usual Debian 12 names are used.

# The Debian package owning the real file behind `library` (a path), or
# `fallback`.
function(lifelog_owning_package library fallback out)
  set(owner "${fallback}")
  find_program(LIFELOG_DPKG_QUERY dpkg-query)
  if(LIFELOG_DPKG_QUERY AND EXISTS "${library}")
    file(REAL_PATH "${library}" real)
    execute_process(COMMAND ${LIFELOG_DPKG_QUERY} -S "${real}" OUTPUT_VARIABLE found
                    ERROR_QUIET RESULT_VARIABLE status)
    if(status EQUAL 0 AND found MATCHES "^([^:,]+)")
      set(owner "${CMAKE_MATCH_1}")
    endif()
  endif()
  set(${out} "${owner}" PARENT_SCOPE)
endfunction()

function(lifelog_imported_location target out)
  set(location "")
  if(TARGET ${target})
    get_target_property(location ${target} IMPORTED_LOCATION)
    if(NOT location)
      get_target_property(configs ${target} IMPORTED_CONFIGURATIONS)
      if(configs)
        list(GET configs 0 config)
        get_target_property(location ${target} IMPORTED_LOCATION_${config})
      endif()
    endif()
  endif()
  if(NOT location)
    set(location "")
  endif()
  set(${out} "${location}" PARENT_SCOPE)
endfunction()

lifelog_imported_location(SQLite::SQLite3 sqlite_location)
lifelog_owning_package("${sqlite_location}" libsqlite3-0 LIFELOG_DEB_SQLITE)
set(LIFELOG_DEB_FMT libfmt9)
if(TARGET lifelog)
  lifelog_imported_location(fmt::fmt fmt_location)
  lifelog_owning_package("${fmt_location}" libfmt9 LIFELOG_DEB_FMT)
endif()

set(CPACK_PACKAGE_NAME lifelog)
set(CPACK_PACKAGE_VENDOR "lifelog")
set(CPACK_PACKAGE_CONTACT "lifelog maintainers <lifelog@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "life-logging library for a phone platform")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_COMPONENTS_ALL runtime dev tool)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME liblifelog${LIFELOG_SOVERSION})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, ${LIFELOG_DEB_SQLITE}")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "lifelog library and its platform stand-in\n libzkivLifelog records calls, messages and media plays in a local SQLite database and answers queries on them; libzbase and libqelmemory are the platform base library and tracked allocator it runs on.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME liblifelog-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "liblifelog${LIFELOG_SOVERSION} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "lifelog library: development files\n C headers of the library and the platform, the CMake package (find_package(lifelog)) and pkg-config files.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME lifelog)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS
    "liblifelog${LIFELOG_SOVERSION} (= ${PROJECT_VERSION}), libc6, libstdc++6, libgcc-s1, ${LIFELOG_DEB_FMT}, libexpat1")
set(CPACK_COMPONENT_TOOL_DESCRIPTION
    "lifelog command-line tool\n Configures, logs into and queries a lifelog database from the command line.")

include(CPack)
