# Install rules: the library (shared, with its SONAME links, or the DLL with
# its import library), the static archive, the companion orvdc_formats, the public headers, a relocatable
# CMake package exporting orvdc::orvdc, and orvdc.pc for pkg-config.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ORVDC_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/orvdc")

install(TARGETS orvdc orvdc_static ${ORVDC_FORMATS_TARGETS} EXPORT orvdcTargets
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/include/" DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}"
  FILES_MATCHING PATTERN "*.h")
install(EXPORT orvdcTargets NAMESPACE orvdc:: DESTINATION "${ORVDC_CMAKE_DIR}")

configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/orvdcConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/orvdcConfig.cmake" INSTALL_DESTINATION "${ORVDC_CMAKE_DIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/orvdcConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/orvdcConfig.cmake" "${PROJECT_BINARY_DIR}/orvdcConfigVersion.cmake"
  DESTINATION "${ORVDC_CMAKE_DIR}")

if(WIN32)
  set(ORVDC_PC_LIBNAME "orvdct7-5.1")
else()
  set(ORVDC_PC_LIBNAME "orvdc")
endif()
configure_file("${PROJECT_SOURCE_DIR}/cmake/orvdc.pc.in" "${PROJECT_BINARY_DIR}/orvdc.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/orvdc.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
configure_file("${PROJECT_SOURCE_DIR}/cmake/orvdc_formats.pc.in" "${PROJECT_BINARY_DIR}/orvdc_formats.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/orvdc_formats.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")

# The documentation: README, licence, changelog and the pages of docs/.
install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_SOURCE_DIR}/CHANGELOG.md"
  DESTINATION "${CMAKE_INSTALL_DOCDIR}")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/" DESTINATION "${CMAKE_INSTALL_DOCDIR}"
  FILES_MATCHING PATTERN "*.md")
