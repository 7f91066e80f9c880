# The launcher's logic built natively against the fake platform, with the
# host tests (the test run, cmake/test_run.cmake, runs them).

# GoogleTest as Debian builds it: compiling it again for the plain and the
# sanitizer builds would take longer than the rest of both. The sanitizers
# instrument the launcher's code and the tests, which is what they are for.
find_package(GTest REQUIRED)

add_library(q8_logic STATIC ${LAUNCHER_LOGIC})
target_include_directories(q8_logic PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(q8_logic PRIVATE -Wall -Wextra -Werror -fno-exceptions -fno-rtti)

add_library(q8_fake_platform STATIC tests/fake_platform.cpp)
target_include_directories(q8_fake_platform PUBLIC ${CMAKE_SOURCE_DIR})
# Optimised, though the build is for debugging: the simulated platform is most
# of the host tests' time, which the mutation check pays once per mutant.
target_compile_options(q8_fake_platform PRIVATE -O2)

add_executable(q8_host_tests
    tests/presence_test.cpp
    tests/presence_header_calls.cpp
    tests/instance_guard_test.cpp
    tests/launch_test.cpp
    tests/watch_test.cpp
    tests/fault_matrix_test.cpp
    tests/scenario.cpp
    launcher/presence/announce.cpp
    launcher/presence/presence_for_path.cpp)
target_link_libraries(q8_host_tests PRIVATE q8_logic q8_fake_platform GTest::gtest_main)
# The generated q8_presence.h, compiled against a <windows.h> that reaches the
# fake platform.
include(cmake/presence_header.cmake)
q8_presence_header(q8_presence_header ${CMAKE_BINARY_DIR}/include)
target_include_directories(q8_host_tests PRIVATE ${CMAKE_BINARY_DIR}/include tests/fake_windows)
add_dependencies(q8_host_tests q8_presence_header)

add_executable(q8_wakeups_bench bench/wakeups_bench.cpp)
target_link_libraries(q8_wakeups_bench PRIVATE q8_logic q8_fake_platform)
