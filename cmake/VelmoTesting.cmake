# GoogleTest for both builds: Debian's packages natively, built from Debian's
# sources for the cross build. Windows test programs run through Wine (the
# toolchain's emulator), also when ctest discovers their cases.
include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  # Warnings in GoogleTest's own sources are not the project's to fix.
  get_directory_property(velmo_compile_options COMPILE_OPTIONS)
  set(velmo_gtest_compile_options ${velmo_compile_options})
  list(REMOVE_ITEM velmo_gtest_compile_options -Werror /WX)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${velmo_gtest_compile_options}")
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${velmo_compile_options}")
  add_library(velmo_gtest_main INTERFACE)
  target_link_libraries(velmo_gtest_main INTERFACE gmock gtest_main)
else()
  find_package(GTest REQUIRED)
  add_library(velmo_gtest_main INTERFACE)
  target_link_libraries(velmo_gtest_main INTERFACE GTest::gmock GTest::gtest_main)
  if(NOT VELMO_SANITIZE AND NOT VELMO_FUZZ)
    find_package(benchmark REQUIRED)
  endif()
endif()

# velmo_add_gtest(<name> [DESKTOP] SOURCES ... [LIBS ...]): a test program
# whose cases ctest lists one by one. DESKTOP: its cases put windows or tray
# icons on the desktop the end-to-end tests look at, so they take turns with
# those tests.
function(velmo_add_gtest name)
  cmake_parse_arguments(ARG "DESKTOP" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} velmo_gtest_main)
  set_property(GLOBAL APPEND PROPERTY VELMO_UNIT_TESTS ${name})
  # A Wine process now and then finishes its work but does not exit; a case
  # that ends on its time-out is run again (the windows test preset repeats
  # after a time-out), so the time-out is kept near what a case needs.
  set(lock)
  if(ARG_DESKTOP)
    set(lock RESOURCE_LOCK wine_desktop)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 60 ${lock})
endfunction()

# velmo_add_benchmark(<name> SOURCES ... [LIBS ...]): Google Benchmark program,
# built only in the plain native build (timings under sanitizers or Wine mean
# nothing). Not a test: run it by hand or with `make bench`.
function(velmo_add_benchmark name)
  if(CMAKE_CROSSCOMPILING OR VELMO_SANITIZE OR VELMO_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  set_property(GLOBAL APPEND PROPERTY VELMO_BENCHMARKS ${name})
endfunction()

# Google Benchmark for the cross build, from the source that
# scripts/fetch-benchmark-source.sh puts in build/deps (`make bench` does).
# Without it Windows benchmarks are left out. Nothing here builds by default.
set(VELMO_WINDOWS_BENCHMARK_SOURCE "${CMAKE_SOURCE_DIR}/build/deps/benchmark-1.7.1"
    CACHE PATH "Google Benchmark source for the Windows benchmarks")
if(CMAKE_CROSSCOMPILING AND EXISTS "${VELMO_WINDOWS_BENCHMARK_SOURCE}/CMakeLists.txt")
  set(BENCHMARK_ENABLE_TESTING OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_ENABLE_INSTALL OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_ENABLE_WERROR OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_ENABLE_GTEST_TESTS OFF CACHE BOOL "" FORCE)
  set(HAVE_STD_REGEX 1 CACHE INTERNAL "")
  # Debian's source reads its version from the packaging, not from git.
  set(GIT_VERSION 1.7.1)
  # The library calls the narrow Windows functions through their generic names.
  get_directory_property(velmo_definitions COMPILE_DEFINITIONS)
  set(velmo_narrow_definitions ${velmo_definitions})
  list(REMOVE_ITEM velmo_narrow_definitions UNICODE _UNICODE)
  set_directory_properties(PROPERTIES COMPILE_DEFINITIONS "${velmo_narrow_definitions}")
  add_subdirectory("${VELMO_WINDOWS_BENCHMARK_SOURCE}" "${CMAKE_BINARY_DIR}/google-benchmark"
                   EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_DEFINITIONS "${velmo_definitions}")
  set(VELMO_HAVE_WINDOWS_BENCHMARK ON)
endif()

# velmo_add_windows_benchmark(<name> SOURCES ... [LIBS ...]): a Google
# Benchmark program of Windows-only code, run under Wine by `make bench`.
# Built only on request, when the benchmark source is there.
function(velmo_add_windows_benchmark name)
  if(NOT VELMO_HAVE_WINDOWS_BENCHMARK)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} EXCLUDE_FROM_ALL ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${VELMO_TESTBIN_DIR}")
endfunction()
