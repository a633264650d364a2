# Installation: the header, the shared library (versioned SONAME on Linux,
# import library on Windows), the faultkit tool, a CMake package
# (find_package(faultkit CONFIG) -> faultkit::faultkit) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)


install(TARGETS faultkit EXPORT faultkitTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/faultkit.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS faultkit_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(faultkit_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/faultkit)
install(EXPORT faultkitTargets NAMESPACE faultkit:: DESTINATION ${faultkit_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/faultkitConfig.cmake.in
  ${PROJECT_BINARY_DIR}/faultkitConfig.cmake INSTALL_DESTINATION ${faultkit_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/faultkitConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/faultkitConfig.cmake
  ${PROJECT_BINARY_DIR}/faultkitConfigVersion.cmake DESTINATION ${faultkit_cmake_dir})

# The .pc file finds its prefix relative to itself, so an installed tree
# can be moved.
file(RELATIVE_PATH faultkit_pc_to_prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
set(FAULTKIT_PC_PREFIX "\${pcfiledir}/${faultkit_pc_to_prefix}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/faultkit.pc.in ${PROJECT_BINARY_DIR}/faultkit.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/faultkit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
