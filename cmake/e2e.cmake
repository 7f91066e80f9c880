# End-to-end tests: a Windows GoogleTest program that runs the real Q8.exe with
# the test game in fresh temporary folders. CTest runs it through Wine. The
# scenarios share the launcher's named objects in one wineserver, so they
# never run in parallel with each other.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)

add_executable(q8_e2e_tests tests/e2e/e2e_test.cpp tests/e2e/residency_test.cpp
                            tests/e2e/hostile_test.cpp tests/e2e/any_script_test.cpp
                            tests/e2e/harness.cpp)
target_include_directories(q8_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(q8_e2e_tests PRIVATE gtest_main q8_shared version)
add_dependencies(q8_e2e_tests Q8 TestGame Q8Quit CPresenceGame)

add_executable(Q8ResidencyBench bench/residency_bench.cpp tests/e2e/harness.cpp)
target_include_directories(Q8ResidencyBench PRIVATE ${CMAKE_SOURCE_DIR})
add_dependencies(Q8ResidencyBench Q8)

# One CTest entry a scenario, so each shows (and times out) on its own.
set(E2E_SCENARIOS
    Binary.IsA32BitGuiProgramWithOnlySystemImports
    Binary.CarriesItsIconAndVersionBlockAndNoManifest
    Launch.ASecondLauncherEndsAtOnceAndLaunchesNothing
    Launch.HandsTheGameExactlyItsTail
    Launch.NoArgumentsHandTheGameAnEmptyTail
    Launch.AMissingGameIsReportedInAMessageBox
    Launch.AGameThatNeverAnnouncesItselfTimesOut
    Launch.ARenamedLauncherStartsTheGameAndTimesOut
    Residency.TheLauncherEndsAGracePeriodAfterTheGameExits
    Residency.TheCompanionKeepsTheLauncherResident
    Residency.AGameRestartedEightSecondsLaterKeepsTheLauncherResident
    Residency.TheQuitToolEndsAWatchingLauncherAndLeavesTheGameRunning
    Residency.WithItsQuitEventNameTakenTheLauncherStillWatchesQuietly
    Residency.AGameInCWithOnlyThePresenceHeaderIsSeenUntilItEnds
    Hostile.AStormOfLaunchersLeavesExactlyOneResident
    Hostile.AnInstanceEventNameTakenByAMutexKeepsTheLauncherQuiet
    Hostile.FoldersAtThePathLimitsEitherWorkOrFailThroughTheMessageBox
    AnyScript.TheGameStartsFromAnyFolderWithItsArgumentsOrTheBoxNamesTheTruePath)
foreach(scenario ${E2E_SCENARIOS})
  add_test(NAME e2e.${scenario} COMMAND q8_e2e_tests --gtest_filter=${scenario})
  set_tests_properties(e2e.${scenario} PROPERTIES RESOURCE_LOCK wineserver TIMEOUT 120
                       LABELS e2e)
endforeach()

# Under code page 932 too (Wine takes it from the locale): a folder in any
# script, and the named objects the launcher and its tools share.
set(E2E_CP932_SCENARIOS
    AnyScript.TheGameStartsFromAnyFolderWithItsArgumentsOrTheBoxNamesTheTruePath
    Launch.ASecondLauncherEndsAtOnceAndLaunchesNothing
    Launch.HandsTheGameExactlyItsTail
    Residency.TheQuitToolEndsAWatchingLauncherAndLeavesTheGameRunning)
foreach(scenario ${E2E_CP932_SCENARIOS})
  add_test(NAME e2e.cp932.${scenario} COMMAND q8_e2e_tests --gtest_filter=${scenario})
  set_tests_properties(e2e.cp932.${scenario} PROPERTIES RESOURCE_LOCK wineserver TIMEOUT 120
                       LABELS e2e ENVIRONMENT "LANG=ja_JP.UTF-8;LC_ALL=ja_JP.UTF-8;Q8_E2E_CODE_PAGE=932")
endforeach()
