# Installs the library, its public headers and a find_package(korloader CONFIG) package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS korloader EXPORT korloaderTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# CacheIO.h belongs to the in-tree plug-in SDK: it needs the support headers, which are
# not installed, so hosts get only what compiles on its own.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/korloader
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
    PATTERN CacheIO.h EXCLUDE)
install(EXPORT korloaderTargets
    NAMESPACE korloader::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/korloader)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/korloaderConfig.cmake.in
    ${PROJECT_BINARY_DIR}/korloaderConfig.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/korloader)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/korloaderConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/korloaderConfig.cmake
    ${PROJECT_BINARY_DIR}/korloaderConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/korloader)
