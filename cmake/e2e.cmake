# End-to-end tests: a Windows GoogleTest program that runs the real Q8.exe with
# the test game in fresh temporary folders, one CTest test for each line of the
# scenario table (cmake/scenarios.cmake).
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
if(EXISTS ${GOOGLETEST_SOURCE}/CMakeLists.txt)
  add_subdirectory(${GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)
else()
  # Where no GoogleTest sources are installed (a Windows host), the release
  # Debian ships, fetched once and checked.
  set(Q8_GOOGLETEST_URL https://github.com/google/googletest/archive/refs/tags/release-1.12.1.tar.gz
      CACHE STRING "Where GoogleTest's release comes from (its hash is checked)")
  include(FetchContent)
  FetchContent_Declare(
    googletest
    URL ${Q8_GOOGLETEST_URL}
    URL_HASH SHA256=81964fe578e9bd7c94dfdb09c8e4d6e6759e19967e397dbea48d1c10e45d0df2)
  FetchContent_GetProperties(googletest)
  if(NOT googletest_POPULATED)
    FetchContent_Populate(googletest)
    add_subdirectory(${googletest_SOURCE_DIR} ${googletest_BINARY_DIR} EXCLUDE_FROM_ALL)
  endif()
endif()

add_executable(q8_e2e_tests tests/e2e/e2e_test.cpp tests/e2e/residency_test.cpp
                            tests/e2e/hostile_test.cpp tests/e2e/any_script_test.cpp
                            tests/e2e/doctor_test.cpp tests/e2e/harness.cpp
                            tests/e2e/scenario_job.cpp)
target_include_directories(q8_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(q8_e2e_tests PRIVATE gtest_main q8_shared version)
add_dependencies(q8_e2e_tests Q8 TestGame Q8Quit Q8Doctor CPresenceGame)
# Every test file parses GoogleTest and <windows.h>: once is enough.
target_precompile_headers(q8_e2e_tests PRIVATE <gtest/gtest.h> <windows.h> <string> <vector>)

add_executable(Q8ResidencyBench bench/residency_bench.cpp tests/e2e/harness.cpp)
target_include_directories(Q8ResidencyBench PRIVATE ${CMAKE_SOURCE_DIR})
add_dependencies(Q8ResidencyBench Q8)

# The scenario lines run as CTest tests of this tree on a Windows host; on a
# Linux host, the test run (cmake/test_run.cmake) runs them under Wine. The
# checks of the file itself (Binary.*) look at the Q8.exe that ships, the
# 32-bit one: the x86-64 build's tests find it through Q8_SHIPPED_LAUNCHER (a
# path on this host), so that a host that runs only 64-bit programs checks it
# too. A Windows host's x86-64 build without it leaves them to its x86 build.
set(Q8_SHIPPED_LAUNCHER "" CACHE FILEPATH "The shipped Q8.exe the binary checks look at")
if(CMAKE_HOST_WIN32)
  include(cmake/scenarios.cmake)
  q8_scenario_tests(e2e-${Q8_ARCH} ${Q8_ARCH} $<TARGET_FILE:q8_e2e_tests> "${Q8_SHIPPED_LAUNCHER}" "")
  message(STATUS "Tests here: e2e-${Q8_ARCH}. Not here, as they need Linux or Wine (scripts/test.sh): "
                 "the lines under code page 932, the host and sanitizer tests, fuzzing, the release "
                 "bundle, the guide, the mutation check and the emulated machine")
endif()
