# The Windows-only parts of the build:
# - faultkit.def (src/api) is the DLL's export list: the 16 C functions and
#   the 16 C++ functions under their MSVC-decorated names;
# - faultkit.lib, an import library for MSVC linkers made from that list,
#   installed with the .def beside libfaultkit.dll.a;
# - version resources for the DLL and the faultkit tool.
if(NOT WIN32 OR FAULTKIT_STATIC)
  return()
endif()

set(FAULTKIT_DEF_FILE ${PROJECT_SOURCE_DIR}/src/api/faultkit.def)
set(faultkit_version_rc ${PROJECT_SOURCE_DIR}/src/api/version_info.rc)
target_sources(faultkit PRIVATE ${FAULTKIT_DEF_FILE} ${faultkit_version_rc})
if(TARGET faultkit_cli)
  target_sources(faultkit_cli PRIVATE ${faultkit_version_rc})
  target_compile_definitions(faultkit_cli PRIVATE $<$<COMPILE_LANGUAGE:RC>:FAULTKIT_RC_TOOL>)
endif()

# llvm-dlltool (Debian package llvm) reads the .def; without it there is no
# faultkit.lib and the MSVC-ABI client test is left out.
find_program(FAULTKIT_DLLTOOL NAMES llvm-dlltool)
if(FAULTKIT_DLLTOOL)
  set(FAULTKIT_MSVC_IMPORT_LIBRARY ${CMAKE_CURRENT_BINARY_DIR}/faultkit.lib)
  add_custom_command(OUTPUT ${FAULTKIT_MSVC_IMPORT_LIBRARY}
    COMMAND ${FAULTKIT_DLLTOOL} -m i386:x86-64 -D faultkit.dll -d ${FAULTKIT_DEF_FILE}
            -l ${FAULTKIT_MSVC_IMPORT_LIBRARY}
    DEPENDS ${FAULTKIT_DEF_FILE}
    COMMENT "Making faultkit.lib, the import library for MSVC linkers"
    VERBATIM)
  add_custom_target(faultkit_msvc_import_library ALL DEPENDS ${FAULTKIT_MSVC_IMPORT_LIBRARY})
else()
  set(FAULTKIT_MSVC_IMPORT_LIBRARY "")
  message(WARNING "llvm-dlltool not found: faultkit.lib, the import library for MSVC "
    "linkers, is not built (apt-get install llvm)")
endif()
if(FAULTKIT_INSTALL)
  install(FILES ${FAULTKIT_DEF_FILE} ${FAULTKIT_MSVC_IMPORT_LIBRARY}
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()
