# The version has one home, the public header: FAULTKIT_VERSION_MAJOR,
# _MINOR and _PATCH there give FAULTKIT_HEADER_VERSION here.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../include/faultkit.h faultkit_version_lines
  REGEX "^#define FAULTKIT_VERSION_(MAJOR|MINOR|PATCH) [0-9]+$")
set(FAULTKIT_HEADER_VERSION "")
foreach(part MAJOR MINOR PATCH)
  if(NOT faultkit_version_lines MATCHES "FAULTKIT_VERSION_${part} ([0-9]+)")
    message(FATAL_ERROR "include/faultkit.h defines no FAULTKIT_VERSION_${part}")
  endif()
  list(APPEND FAULTKIT_HEADER_VERSION ${CMAKE_MATCH_1})
endforeach()
list(JOIN FAULTKIT_HEADER_VERSION "." FAULTKIT_HEADER_VERSION)
