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

# The library's headers, less those only its own sources include: those may call functions the
# library does not export, so a user who included one could not link.
set(zudava_internal_headers
  zudava/foundation/Raise.h
  zudava/foundation/Utf8.h
  zudava/os/KernelHandle.h
  zudava/files/ChunkedWriter.h
  zudava/files/HostFileName.h)
file(GLOB_RECURSE zudava_headers RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/zudava/*.h)
list(REMOVE_ITEM zudava_headers ${zudava_internal_headers})
# The object model's internal collections and helpers.
list(FILTER zudava_headers EXCLUDE REGEX "/_Wmi[^/]*\\.h$")
list(SORT zudava_headers)
foreach(header IN LISTS zudava_headers)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${folder})
endforeach()
# The outside program (tests/consumer) includes each of these and checks that an installed copy
# holds no other.
set_target_properties(zudava PROPERTIES ZUDAVA_PUBLIC_HEADERS "${zudava_headers}"
                                        EXPORT_PROPERTIES ZUDAVA_PUBLIC_HEADERS)
install(EXPORT zudavaTargets NAMESPACE zudava:: DESTINATION ${ZUDAVA_CONFIG_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zudavaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zudavaConfig.cmake INSTALL_DESTINATION ${ZUDAVA_CONFIG_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zudavaConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zudavaConfig.cmake ${PROJECT_BINARY_DIR}/zudavaConfigVersion.cmake
        DESTINATION ${ZUDAVA_CONFIG_DIR})
