# Platform-wide settings: which platform layer is built, and how the Windows
# build links its runtime so that faultkit.dll needs only system DLLs.
if(WIN32)
  set(FAULTKIT_PLATFORM win32)
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(_WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
else()
  set(FAULTKIT_PLATFORM posix)
  find_package(Threads REQUIRED)
  # Release builds, which the .deb is made from, keep their debug
  # information; the package strips it into a -dbgsym package of its own.
  string(APPEND CMAKE_C_FLAGS_RELEASE " -g")
  string(APPEND CMAKE_CXX_FLAGS_RELEASE " -g")
endif()
