# End-to-end tests: a Windows GoogleTest program that runs the real Q8.exe with
# the test game in fresh temporary folders. Each line of the scenario table
# below is a CTest entry twice over:
# - e2e.LINE (label e2e), on a Linux host: under Wine for this build's
#   architecture in a prefix of its own (scripts/e2e-scenario.sh), so each has
#   its own wineserver and its own named objects, and they all run side by side;
# - e2e-serial.LINE (label e2e-serial): the test program started directly, one
#   line after another (named objects are per session), as on a Windows host,
#   where these are the only entries; on Linux, CTest starts it through Wine
#   (the toolchain's emulator), in the prefix the caller gives.
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

# The scenario table. A line is a GoogleTest filter, optionally followed by @
# and the LANG to run it under (which sets Wine's ANSI code page; C.UTF-8
# otherwise):
#   Launch.HandsTheGameExactlyItsTail@ja_JP.UTF-8
# Scenarios on one line (A.B:C.D) share a prefix and run one after another:
# those that must see each other's named objects, and short ones beside a long
# one, as every prefix's start costs about two seconds of processor time. A
# line takes at most about 40 s on its own.
set(E2E_SCENARIOS
    Launch.AGameThatNeverAnnouncesItselfTimesOut
    Launch.ARenamedLauncherStartsTheGameAndTimesOut
    Residency.TheCompanionKeepsTheLauncherResident
    Residency.WithItsQuitEventNameTakenTheLauncherStillWatchesQuietly
    Residency.AGameRestartedEightSecondsLaterKeepsTheLauncherResident:Binary.*:Launch.ASecondLauncherEndsAtOnceAndLaunchesNothing:Residency.AGameRunAsAdministratorIsSeenByTheLauncherThatStartedIt:Residency.ALauncherStartedBesideAGameRunAsAdministratorStartsNoSecondGame
    Residency.TheLauncherEndsAGracePeriodAfterTheGameExits:Residency.AGameInCWithOnlyThePresenceHeaderIsSeenUntilItEnds
    Hostile.AStormOfLaunchersLeavesExactlyOneResident:Hostile.AnInstanceEventNameTakenByAMutexKeepsTheLauncherQuiet:Launch.AMissingGameIsReportedInAMessageBox:Launch.HandsTheGameExactlyItsTail:Launch.NoArgumentsHandTheGameAnEmptyTail
    Hostile.FoldersAtThePathLimitsEitherWorkOrFailThroughTheMessageBox:Residency.TheQuitToolEndsAWatchingLauncherAndLeavesTheGameRunning:Doctor.SeesTheRightSemaphoreAndNamesEachMistake:Doctor.WaitReportsWhenALateGameAppeared:Residency.TheQuitToolWaitsOutAGracePeriodOrSaysThatItRanOut
    AnyScript.TheGameStartsFromAnyFolderWithItsArgumentsOrTheBoxNamesTheTruePath:Doctor.InAnyScriptFolderShowsTheBytesAndFindsWhatTheLauncherFinds
    # Under code page 932 too: a folder in any script, and the named objects
    # the launcher and its tools share.
    AnyScript.TheGameStartsFromAnyFolderWithItsArgumentsOrTheBoxNamesTheTruePath:Doctor.InAnyScriptFolderShowsTheBytesAndFindsWhatTheLauncherFinds:Launch.ASecondLauncherEndsAtOnceAndLaunchesNothing:Launch.HandsTheGameExactlyItsTail:Residency.TheQuitToolEndsAWatchingLauncherAndLeavesTheGameRunning@ja_JP.UTF-8)
# The checks of the file itself (Binary.*) look at the Q8.exe that ships, the
# 32-bit one: the x86-64 build's tests find it through Q8_SHIPPED_LAUNCHER (a
# path on this host), so that a host that runs only 64-bit programs checks it
# too. A Windows host's x86-64 build without it leaves them to its x86 build.
set(Q8_SHIPPED_LAUNCHER "" CACHE FILEPATH "The shipped Q8.exe the binary checks look at")
# A path as the test program sees it: on a Linux host, through Wine's Z: drive.
function(q8_windows_path variable path)
  if(CMAKE_HOST_WIN32)
    file(TO_NATIVE_PATH "${path}" path)
  else()
    string(REPLACE "/" "\\" path "Z:${path}")
  endif()
  set(${variable} "${path}" PARENT_SCOPE)
endfunction()
set(shipped "")
if(Q8_SHIPPED_LAUNCHER)
  q8_windows_path(shipped "${Q8_SHIPPED_LAUNCHER}")
endif()
# Each line's GoogleTest report goes to LABEL-results/, where the test run
# counts the scenarios that passed.
set(index 0)
foreach(line ${E2E_SCENARIOS})
  math(EXPR index "${index} + 1")
  string(REPLACE "@" ";" parts "${line}")
  list(GET parts 0 filter)
  list(LENGTH parts count)
  set(lang C.UTF-8)
  if(count GREATER 1)
    list(GET parts 1 lang)
  endif()
  set(environment "")
  if(shipped)
    list(APPEND environment "Q8_E2E_SHIPPED=${shipped}")
  endif()
  # The tests check that Wine took the code page the locale stands for: a
  # missing locale would quietly leave them on the default one.
  if(lang MATCHES "^ja_JP")
    list(APPEND environment Q8_E2E_CODE_PAGE=932)
  endif()
  if(CMAKE_HOST_WIN32)
    # Windows keeps one code page for the whole system: a line under another
    # locale runs under Wine only.
    if(NOT lang STREQUAL "C.UTF-8")
      continue()
    endif()
    if(Q8_ARCH STREQUAL "win64" AND NOT shipped)
      string(APPEND filter "-Binary.*")
    endif()
  else()
    q8_windows_path(results "${CMAKE_BINARY_DIR}/e2e-results/${index}.xml")
    add_test(NAME e2e.${line}
             COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/e2e-scenario.sh ${Q8_ARCH} e2e.${line} ${lang}
                     $<TARGET_FILE:q8_e2e_tests> --gtest_filter=${filter} --gtest_output=xml:${results})
    set_tests_properties(e2e.${line} PROPERTIES TIMEOUT 120 LABELS e2e ENVIRONMENT "${environment}")
    list(APPEND environment LANG=${lang})
  endif()
  q8_windows_path(results "${CMAKE_BINARY_DIR}/e2e-serial-results/${index}.xml")
  add_test(NAME e2e-serial.${line}
           COMMAND q8_e2e_tests --gtest_filter=${filter} --gtest_output=xml:${results})
  set_tests_properties(e2e-serial.${line} PROPERTIES TIMEOUT 120 LABELS e2e-serial RESOURCE_LOCK
                       q8_session ENVIRONMENT "${environment}")
endforeach()
