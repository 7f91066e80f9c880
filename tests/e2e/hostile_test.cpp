// End-to-end scenarios with hostile neighbours: launchers started in a storm,
// names taken by other programs, folders at the limits of the path buffers.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "launcher/instance_guard/event_names.h"
#include "tests/e2e/expect.h"
#include "tests/e2e/harness.h"
#include "tests/naming_oracle.h"
#include "tools/utf8.h"

namespace {

// Runs the launcher of the folder and drives it to its end, whichever way it
// goes: when the game starts, the test announces it under the name this
// launcher probes for, then ends the launcher with the quit tool; when a
// message box appears, it presses OK. Answers the launcher's exit code.
DWORD RunToTheEnd(const GameFolder& folder, const std::string& presenceName, bool* worked) {
  folder.ConfigureGame(-1, -1, 60000);
  Process launcher = folder.StartLauncher();
  *worked = false;
  Handle presence;
  DWORD code = 0xDEAD;
  for (int i = 0; i < 400; ++i) {
    if (launcher.Wait(50, &code)) break;
    MessageBoxSeen box;
    if (WaitForMessageBox(launcher.id(), 0, &box)) {
      EXPECT_EQ(box.caption, "Game Launch Error");
      EXPECT_EQ(box.text.rfind("Failed to start ", 0), 0u) << box.text;
      PressOk(box.window);
      launcher.Wait(10000, &code);
      break;
    }
    if (!presence && !folder.GameStarts().empty()) {
      presence.reset(CreateSemaphoreA(nullptr, 0, 1, presenceName.c_str()));
      Sleep(1000);
      if (launcher.Running()) {
        *worked = true;
        EXPECT_EQ(RunTool("Q8Quit.exe"), 0u);
      }
    }
  }
  return code;
}

}  // namespace

TEST(Hostile, AStormOfLaunchersLeavesExactlyOneResident) {
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    GameFolder folder;
    folder.ConfigureGame(0, -1, 60000);
    Job job;
    std::vector<Process> launchers;
    for (int i = 0; i < 8; ++i) launchers.push_back(folder.StartLauncher("-storm", true, &job));
    for (Process& launcher : launchers) launcher.Resume();

    ASSERT_TRUE(WaitForTestGame(true, 15000));
    int ended = 0, resident = 0;
    const DWORD start = GetTickCount();
    while (ended < 7 && GetTickCount() - start < 15000) {
      ended = 0;
      for (const Process& launcher : launchers) {
        DWORD code = 1234;
        if (launcher.Wait(0, &code)) {
          EXPECT_EQ(code, 0u);
          ++ended;
        }
      }
      Sleep(50);
    }
    for (const Process& launcher : launchers) resident += launcher.Running() ? 1 : 0;
    EXPECT_EQ(resident, 1);
    EXPECT_EQ(RunTool("Q8Quit.exe"), 0u);
    for (const Process& launcher : launchers) {
      DWORD code = 1234;
      EXPECT_TRUE(launcher.Wait(5000, &code));
      EXPECT_EQ(code, 0u);
    }
    // All of them have ended: whatever they started is counted.
    EXPECT_EQ(job.ProcessesEver(), 9u) << "eight launchers and one game";
  }
}

TEST(Hostile, AnInstanceEventNameTakenByAMutexKeepsTheLauncherQuiet) {
  Handle squatter(CreateMutexA(nullptr, FALSE, kInstanceEventName));
  ASSERT_NE(squatter.get(), nullptr);
  GameFolder folder;
  folder.ConfigureGame(0, -1, 10000);
  Job job;
  Process launcher = folder.StartLauncher("", false, &job);
  DWORD code = 1234;
  ASSERT_TRUE(launcher.Wait(10000, &code));
  EXPECT_EQ(code, 0u);
  // It has ended: whatever it started is counted.
  EXPECT_EQ(job.ProcessesEver(), 1u) << "the launcher alone, no game";
}

TEST(Hostile, FoldersAtThePathLimitsEitherWorkOrFailThroughTheMessageBox) {
  // Positions in the launcher's full path, counted from 0: the last backslash
  // at 243 and 244 (where the companion's name stops fitting the 266-byte
  // layout), the last dot at 252 and 253 (the game's suffix), a file name
  // starting at 251 (the target path's), and letters beyond ASCII in the file name.
  const struct {
    std::size_t dirLength;  // position of the last backslash
    std::string fileName;
  } cases[] = {
      {243, "Q8.exe"},
      {244, "Q8.exe"},
      {240, "Q8abcdefghi.exe"},            // last dot at 252
      {240, "Q8abcdefghij.exe"},           // last dot at 253
      {250, "Q8.exe"},                     // file name from 251
      {60, u8"Q8\u00E9\u00C4\u00FF.exe"},  // what the code page makes of it names the game
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dirLength << " " << c.fileName);
    GameFolder folder(c.fileName.c_str(), true, c.dirLength);
    const std::string path = folder.Path(c.fileName.c_str());
    if (GetFileAttributesW(Wide(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
      ADD_FAILURE() << "could not create " << path;
      continue;
    }
    ASSERT_EQ(path.rfind('\\'), c.dirLength);
    const std::string presence = oracle::ExpectedGameName(Ansi(c.fileName));
    bool worked = false;
    const DWORD code = RunToTheEnd(folder, presence, &worked);
    EXPECT_TRUE(code == 0 || code == kExitStartFailed) << std::hex << code;
    EXPECT_EQ(worked, code == 0);
    std::printf("path of %u bytes, last backslash at %u, file %s: %s\n",
                static_cast<unsigned>(path.size()), static_cast<unsigned>(c.dirLength),
                c.fileName.c_str(), worked ? "works" : "fails through its message box");
  }
}
