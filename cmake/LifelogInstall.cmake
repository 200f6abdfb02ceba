# Installation: the three libraries with versioned sonames, the public
# headers, the tool and its user service, a CMake package
# (find_package(lifelog)) and pkg-config files.  The Debian packages
# (debian/, scripts/package) split the same install rules.
#
# Installed layout under the prefix:
#   lib/libzkivLifelog.so.0, lib/libzbase.so.0, lib/libqelmemory.so.0  (runtime)
#   lib/lib*.so, include/..., lib/cmake/lifelog/, lib/pkgconfig/       (development)
#   bin/lifelog, lib/systemd/user/lifelog-web.service, share/man/man1/,
#   share/{bash-completion,zsh,fish}/...                                (tool)
# Headers: include/lifelog/ (the library), include/zbase/ (the platform's
# operations: zbase.h, qelmemory.h) and include/zbase/host/ (what only the
# stand-in offers: the host calls and the test hooks).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(LIFELOG_SOVERSION ${PROJECT_VERSION_MAJOR})
set(LIFELOG_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/lifelog)
set(ZBASE_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/zbase)
set(ZBASE_HOST_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/zbase/host)
set(LIFELOG_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/lifelog)

# The same names inside this build as for an installed package, so the
# examples build unchanged in both.
foreach(target zkivLifelog zbase qelmemory)
  add_library(lifelog::${target} ALIAS ${target})
endforeach()

# An installed library finds its siblings next to itself; an installed tool
# finds them in ../lib.  Neither path names the build machine.
set_target_properties(zkivLifelog zbase qelmemory PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${LIFELOG_SOVERSION}
  INSTALL_RPATH "$ORIGIN")
target_include_directories(zkivLifelog INTERFACE $<INSTALL_INTERFACE:${LIFELOG_INCLUDEDIR}>)
target_include_directories(qelmemory INTERFACE $<INSTALL_INTERFACE:${ZBASE_INCLUDEDIR}>)
target_include_directories(zbase INTERFACE $<INSTALL_INTERFACE:${ZBASE_INCLUDEDIR}>
                                           $<INSTALL_INTERFACE:${ZBASE_HOST_INCLUDEDIR}>)

install(TARGETS zkivLifelog zbase qelmemory
  EXPORT lifelogTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)

file(GLOB LIFELOG_INSTALL_HEADERS CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/social/lifelog/include/*.h)
install(FILES ${LIFELOG_INSTALL_HEADERS} DESTINATION ${LIFELOG_INCLUDEDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/platform/include/zbase.h
              ${PROJECT_SOURCE_DIR}/platform/include/qelmemory.h
        DESTINATION ${ZBASE_INCLUDEDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/platform/include/zbase_host.h
              ${PROJECT_SOURCE_DIR}/platform/include/zbase_testing.h
        DESTINATION ${ZBASE_HOST_INCLUDEDIR} COMPONENT dev)

if(TARGET lifelog)
  set_target_properties(lifelog PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS lifelog RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  # systemd looks for user units in <prefix>/lib/systemd/user, never in a
  # multiarch folder.
  configure_file(${PROJECT_SOURCE_DIR}/dist/lifelog-web.service.in
                 ${PROJECT_BINARY_DIR}/lifelog-web.service @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/lifelog-web.service DESTINATION lib/systemd/user
          COMPONENT tool)
  include(${CMAKE_CURRENT_LIST_DIR}/LifelogToolFiles.cmake)
endif()

# CMake package: lifelog::zkivLifelog, lifelog::zbase, lifelog::qelmemory.
install(EXPORT lifelogTargets NAMESPACE lifelog:: DESTINATION ${LIFELOG_CMAKEDIR}
        COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/lifelogConfig.cmake.in
  ${PROJECT_BINARY_DIR}/lifelogConfig.cmake INSTALL_DESTINATION ${LIFELOG_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/lifelogConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/lifelogConfig.cmake
              ${PROJECT_BINARY_DIR}/lifelogConfigVersion.cmake
        DESTINATION ${LIFELOG_CMAKEDIR} COMPONENT dev)

# pkg-config: zkivLifelog, zbase, qelmemory.  The prefix is found from the
# .pc file's own place, so an installed tree can be moved (or installed with
# `cmake --install --prefix`) without rewriting the files.
file(RELATIVE_PATH LIFELOG_PC_TO_PREFIX
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" LIFELOG_PC_TO_PREFIX "${LIFELOG_PC_TO_PREFIX}")
foreach(pc zkivLifelog zbase qelmemory)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${pc}.pc
                 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${pc}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endforeach()
