# GoogleTest for both builds: Debian's packages natively, built from Debian's
# sources for the cross build. Windows test programs run through Wine (the
# toolchain's emulator), also when ctest discovers their cases.
include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
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

# velmo_add_gtest(<name> SOURCES ... [LIBS ...]): a test program whose cases
# ctest lists one by one.
function(velmo_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} velmo_gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 120)
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
