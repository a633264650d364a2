# Installation, in three components:
#   runtime      the shared library (faultkit.dll on Windows) and the license
#   development  the header, the link library (import library on Windows,
#                or the static library), a CMake package
#                (find_package(faultkit CONFIG) -> faultkit::faultkit), a
#                pkg-config file and the examples
#   tool         the faultkit command-line tool (with FAULTKIT_TOOL), its
#                manual page and bash completion
include(CMakePackageConfigHelpers)

install(TARGETS faultkit EXPORT faultkitTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
    NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/faultkit.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
if(FAULTKIT_TOOL)
  install(TARGETS faultkit_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/examples/report_with_context.c
  ${PROJECT_SOURCE_DIR}/examples/move_to_process.c
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT development)

set(faultkit_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/faultkit)
install(EXPORT faultkitTargets NAMESPACE faultkit:: DESTINATION ${faultkit_cmake_dir}
  COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/faultkitConfig.cmake.in
  ${PROJECT_BINARY_DIR}/faultkitConfig.cmake INSTALL_DESTINATION ${faultkit_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/faultkitConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/faultkitConfig.cmake
  ${PROJECT_BINARY_DIR}/faultkitConfigVersion.cmake DESTINATION ${faultkit_cmake_dir}
  COMPONENT development)

# The .pc file finds its prefix relative to itself, so an installed tree
# can be moved. A static faultkit also needs the C++ runtime and the thread
# library; with no shared library to stand for them they are part of Libs,
# so that `pkg-config --libs` works with or without --static.
file(RELATIVE_PATH faultkit_pc_to_prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
set(FAULTKIT_PC_PREFIX "\${pcfiledir}/${faultkit_pc_to_prefix}")
if(FAULTKIT_STATIC)
  set(FAULTKIT_PC_CFLAGS " -DFAULTKIT_STATIC")
  list(TRANSFORM FAULTKIT_CXX_RUNTIME PREPEND -l OUTPUT_VARIABLE runtime_flags)
  if(NOT WIN32)
    list(APPEND runtime_flags -pthread)
  endif()
  list(JOIN runtime_flags " " runtime_flags)
  set(FAULTKIT_PC_STATIC_LIBS " ${runtime_flags}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/faultkit.pc.in ${PROJECT_BINARY_DIR}/faultkit.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/faultkit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)

include(cmake/FaultkitPackage.cmake)
