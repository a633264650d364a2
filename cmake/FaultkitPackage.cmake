# Binary packages with CPack: a .deb on Linux, a .zip on Windows, each
# holding every install component (library, development files, tool) and
# the license. Packages are made from a Release build; the binaries in them
# are stripped.
set(CPACK_PACKAGE_NAME faultkit)
set(CPACK_PACKAGE_VENDOR "faultkit developers")
set(CPACK_PACKAGE_CONTACT "faultkit developers <faultkit@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Per-thread error state for the components of a process")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "faultkit keeps the root and the last error of every thread for the components"
  "of a process, with typed contexts rendered as UTF-8 text, and carries them to"
  "other threads and processes as byte images. This package holds the shared"
  "library, its C and C++ header, CMake and pkg-config files, examples, and the"
  "faultkit tool, which inspects images and converts text.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME faultkit-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)  # one folder, named as the zip
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # Strips the binaries and keeps their debug information in a
  # faultkit-dbgsym package of its own.
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
  # The shared library is announced to dpkg (shlibs) and ldconfig runs
  # through a trigger.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
  find_program(FAULTKIT_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(FAULTKIT_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
  # Debian's places for the license, the changelog and the manual page.
  set(CPACK_FAULTKIT_SOURCE_DIR ${PROJECT_SOURCE_DIR})
  set(CPACK_FAULTKIT_DOCDIR ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_FAULTKIT_MANDIR ${CMAKE_INSTALL_MANDIR})
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/FaultkitDebianFiles.cmake)
endif()
include(CPack)
