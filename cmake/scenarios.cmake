# The end-to-end scenario table and the CTest tests it makes, one for each
# line, under the same names on a Linux host (the Windows test
# program under Wine, each line in a prefix of its own, side by side) and on
# Windows (the program started directly, one line after another, as named
# objects are per session). A line is a GoogleTest filter, optionally followed
# by @ and the LANG to run it under (which sets Wine's ANSI code page; C.UTF-8
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
    Hostile.FoldersUpToThePathLimitWorkAndOneBytePastItFailsThroughTheMessageBox:Residency.TheQuitToolEndsAWatchingLauncherAndLeavesTheGameRunning:Doctor.SeesTheRightSemaphoreAndNamesEachMistake:Doctor.WaitReportsWhenALateGameAppeared:Doctor.AloneInItsConsoleItWaitsForAKeyAndBesideACommandPromptItDoesNot:Residency.TheQuitToolSaysAGracePeriodOutlastsAShortWaitAndWaitsOutAFullOne
    AnyScript.TheGameStartsFromAnyFolderWithItsArgumentsAndTheBoxNamesItsTruePath:Doctor.InAnyScriptFolderShowsTheBytesAndFindsWhatTheLauncherFinds
    Residency.AGameWhoseSemaphoreGrantsNothingKeepsTheLauncherAndAnotherStartsNoSecondGame
    # Under code page 932 too: a folder in any script, and the named objects
    # the launcher and its tools share.
    AnyScript.TheGameStartsFromAnyFolderWithItsArgumentsAndTheBoxNamesItsTruePath:Doctor.InAnyScriptFolderShowsTheBytesAndFindsWhatTheLauncherFinds:Launch.ASecondLauncherEndsAtOnceAndLaunchesNothing:Launch.HandsTheGameExactlyItsTail:Residency.TheQuitToolEndsAWatchingLauncherAndLeavesTheGameRunning@ja_JP.UTF-8)

# Scenarios that Wine cannot show (it lets anyone wait on any semaphore): on a
# Linux host they say so and are skipped, each on a line of its own; the
# Windows job must pass them.
set(E2E_WINDOWS_ONLY
    Residency.AGameWhoseSemaphoreGrantsNothingKeepsTheLauncherAndAnotherStartsNoSecondGame)

# A path as the test program sees it: on a Linux host, through Wine's Z: drive.
function(q8_windows_path variable path)
  if(CMAKE_HOST_WIN32)
    file(TO_NATIVE_PATH "${path}" path)
  else()
    string(REPLACE "/" "\\" path "Z:${path}")
  endif()
  set(${variable} "${path}" PARENT_SCOPE)
endfunction()

# The tests GROUP.SCENARIO for each line, run for ARCH (win32 or win64) by the
# test program PROGRAM, with the fixtures they need besides their own, GROUP:
# its setup clears their reports, and its cleanup, GROUP.every-scenario-passed,
# fails unless every scenario the test program defines passed on some line
# (GoogleTest passes a filter that matches nothing). On a Linux host they run
# under Wine, each line in a prefix of its own, or with GROUP e2e-serial, in
# one prefix one after another, as on Windows. SHIPPED, if set, is the Q8.exe
# that ships, whose file the Binary checks read.
function(q8_scenario_tests group arch program shipped needs)
  set(results ${CMAKE_BINARY_DIR}/${group}-results)
  set(names "")
  set(index 0)
  # Without the shipped file, a Windows host's x64 build leaves the checks of
  # the file to its x86 build.
  set(unchecked "")
  set(skipped "")
  if(CMAKE_HOST_WIN32 AND arch STREQUAL "win64" AND NOT shipped)
    set(unchecked Binary)
  elseif(NOT CMAKE_HOST_WIN32)
    set(skipped ${E2E_WINDOWS_ONLY})
  endif()
  foreach(line ${E2E_SCENARIOS})
    math(EXPR index "${index} + 1")
    string(REPLACE "@" ";" parts "${line}")
    list(GET parts 0 filter)
    list(LENGTH parts count)
    set(lang C.UTF-8)
    set(environment "")
    if(count GREATER 1)
      list(GET parts 1 lang)
      # The tests check that Wine took the code page the locale stands for: a
      # missing locale would quietly leave them on the default one.
      list(APPEND environment Q8_E2E_CODE_PAGE=932)
    endif()
    if(shipped)
      q8_windows_path(path "${shipped}")
      list(APPEND environment "Q8_E2E_SHIPPED=${path}")
    endif()
    # Named by its first scenario, how many more share its prefix, and its
    # locale if not the default.
    string(REPLACE ":" ";" scenarios "${filter}")
    list(GET scenarios 0 name)
    set(name ${group}.${name})
    list(LENGTH scenarios more)
    if(more GREATER 1)
      math(EXPR more "${more} - 1")
      string(APPEND name "+${more}")
    endif()
    if(count GREATER 1)
      string(APPEND name "@${lang}")
    endif()
    if(unchecked)
      string(APPEND filter -${unchecked}.*)
    endif()
    q8_windows_path(report "${results}/${index}.xml")
    set(arguments --gtest_filter=${filter} --gtest_output=xml:${report})
    if(CMAKE_HOST_WIN32)
      # Windows keeps one code page for the whole system: a line under another
      # locale needs Wine.
      if(NOT lang STREQUAL "C.UTF-8")
        continue()
      endif()
      add_test(NAME ${name} COMMAND ${program} ${arguments})
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK q8_session)
    else()
      add_test(NAME ${name} COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh scenario ${arch}
                                    ${name} ${lang} ${program} ${arguments})
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS "e2e;${group}" ENVIRONMENT
                         "${environment}" FIXTURES_REQUIRED "${group};${needs}")
    if(filter IN_LIST skipped)
      set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "cannot show the denial here")
    endif()
    list(APPEND names ${name})
  endforeach()
  add_test(NAME ${group}.begin COMMAND ${CMAKE_COMMAND} -E rm -rf ${results})
  add_test(NAME ${group}.every-scenario-passed
           COMMAND ${CMAKE_COMMAND} -DRESULTS=${results} -DSOURCES=${CMAKE_SOURCE_DIR}/tests/e2e
                   "-DUNCHECKED=${unchecked}" "-DSKIPPED=${skipped}" -P ${CMAKE_SOURCE_DIR}/cmake/every_scenario_passed.cmake)
  set_tests_properties(${group}.begin PROPERTIES FIXTURES_SETUP ${group} LABELS "e2e;${group}")
  set_tests_properties(${group}.every-scenario-passed PROPERTIES FIXTURES_CLEANUP ${group}
                       LABELS "e2e;${group}")
  set(${group}_TESTS ${names} PARENT_SCOPE)
endfunction()
