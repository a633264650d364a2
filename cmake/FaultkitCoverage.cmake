# FAULTKIT_COVERAGE (clang): everything is built with clang's source-based
# coverage. Each test program writes its profile into profiles/ of the build
# folder when LLVM_PROFILE_FILE says so (the coverage test preset does); the
# target coverage_report merges them and prints line and branch figures for
# src/ and tools/, with llvm-cov's HTML in coverage-html/. The LLVM tools
# are taken from the compiler's own folder, so that their version is the
# compiler's.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "FAULTKIT_COVERAGE needs clang (CC=clang CXX=clang++)")
endif()
add_compile_options(-fprofile-instr-generate -fcoverage-mapping)
add_link_options(-fprofile-instr-generate)

get_filename_component(faultkit_compiler ${CMAKE_CXX_COMPILER} REALPATH)
get_filename_component(faultkit_compiler_dir ${faultkit_compiler} DIRECTORY)
find_program(FAULTKIT_LLVM_PROFDATA llvm-profdata HINTS ${faultkit_compiler_dir} REQUIRED)
find_program(FAULTKIT_LLVM_COV llvm-cov HINTS ${faultkit_compiler_dir} REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

add_custom_target(coverage_report
  COMMAND sh -c "'${FAULTKIT_LLVM_PROFDATA}' merge -sparse -o coverage.profdata profiles/*.profraw"
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/coverage_report.py
          ${FAULTKIT_LLVM_COV} coverage.profdata ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  USES_TERMINAL
  VERBATIM)
