# `cmake --install` lays out headers, libraries and a package configuration, so that users can
# `find_package(zudava)` and link `zudava::zudava`.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZUDAVA_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zudava)
set(zudava_installed_targets zudava)
if(TARGET zudava_platform)
  list(APPEND zudava_installed_targets zudava_platform)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/platform/include/
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zudava/platform)
endif()
install(TARGETS ${zudava_installed_targets} EXPORT zudavaTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/zudava/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zudava
        FILES_MATCHING PATTERN "*.h"
        PATTERN "_Wmi*.h" EXCLUDE) # the object model's internal collections and helpers
install(EXPORT zudavaTargets NAMESPACE zudava:: DESTINATION ${ZUDAVA_CONFIG_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zudavaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zudavaConfig.cmake INSTALL_DESTINATION ${ZUDAVA_CONFIG_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zudavaConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zudavaConfig.cmake ${PROJECT_BINARY_DIR}/zudavaConfigVersion.cmake
        DESTINATION ${ZUDAVA_CONFIG_DIR})
