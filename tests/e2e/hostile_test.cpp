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
// launcher probes for (or, given no name, leaves that to the game) and sets
// the quit event at once, which only a launcher that saw the game acts on (the
// start-up wait does not look at it); when a message box appears, it presses
// OK. Answers the launcher's exit code and the box's text, if there was one.
DWORD RunToTheEnd(const GameFolder& folder, const std::string& presenceName, std::string* box) {
  folder.ConfigureGame(presenceName.empty() ? 0 : -1, -1, 60000);
  Process launcher = folder.StartLauncher();
  Handle presence;
  bool started = false;
  DWORD code = 0xDEAD;
  if (!launcher.started()) {
    ADD_FAILURE() << "the launcher did not start";
    return code;
  }
  for (int i = 0; i < 800 && !launcher.Wait(50, &code); ++i) {
    MessageBoxSeen seen;
    if (WaitForMessageBox(launcher.id(), 0, &seen)) {
      EXPECT_EQ(seen.caption, "Game Launch Error");
      *box = seen.text;
      PressOk(seen.window);
      launcher.Wait(10000, &code);
      break;
    }
    if (!started && !folder.GameStarts().empty()) {
      started = true;
      if (!presenceName.empty()) {
        presence.reset(CreateSemaphoreA(nullptr, 0, 1, presenceName.c_str()));
      }
      EXPECT_EQ(RunTool("Q8Quit.exe"), 0u);
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

TEST(Hostile, FoldersUpToThePathLimitWorkAndOneBytePastItFailsThroughTheMessageBox) {
  // Positions in the launcher's full path, counted from 0, each with the one
  // outcome it must have. The names are built in the path's own buffer after
  // the 5-byte prefix: the companion's tail at the last backslash, the game's
  // suffix at the last dot; the layout holds 266 bytes, and the buffer has
  // room for either past it.
  const struct {
    std::size_t dirLength;  // position of the last backslash
    std::string fileName;
    bool works;
    const char* why;
    bool gameAnnounces = false;  // by its own path, rather than the test for it
  } cases[] = {
      {243, "Q8.exe", true, "the companion's tail ends with the layout"},
      {244, "Q8.exe", true, "the companion's tail ends a byte past the layout"},
      {240, "Q8abcdefghi.exe", true, "last dot at 252: the game's suffix ends with the layout"},
      {240, "Q8abcdefghij.exe", true, "last dot at 253: the suffix ends a byte past the layout"},
      {248, "Q8.exe", true,
       "the longest folder: the game's own path, 248 + 1 + 10 = 259 characters, names it", true},
      {249, "Q8.exe", false,
       "a byte more: the game's path, 249 + 1 + 10 = 260 characters, is too long to start"},
      {60, u8"Q8\u00E9\u00C4\u00FF.exe", true, "the code page's bytes name the game as they are"},
  };
  // The folders are made in the long form: Windows' plain calls make none past
  // 248 characters, the most the guide lets an installer use (Wine makes them).
  {
    GameFolder parent("Q8.exe", false, 200);
    for (const std::size_t length : {248u, 249u}) {
      const std::string dir = parent.Path() + std::string(length - parent.Path().size(), 'p');
      const bool made = CreateDirectoryW(Wide(dir).c_str(), nullptr) != FALSE;
      RemoveDirectoryW(LongPath(dir).c_str());
      if (length == 248 || !UnderWine()) EXPECT_EQ(made, length == 248) << length << " characters";
    }
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dirLength << " " << c.fileName << ": " << c.why);
    GameFolder folder(c.fileName.c_str(), true, c.dirLength);
    const std::string path = folder.Path(c.fileName.c_str());
    if (GetFileAttributesW(LongPath(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
      ADD_FAILURE() << "could not create " << path;
      continue;
    }
    ASSERT_EQ(path.rfind('\\'), c.dirLength);
    std::string box;
    const DWORD code = RunToTheEnd(
        folder, c.gameAnnounces ? "" : oracle::ExpectedGameName(Ansi(c.fileName)), &box);
    if (c.works) {
      EXPECT_EQ(code, 0u) << std::hex << code << " " << box;
    } else {
      // The launch itself fails, reported at once, not by the start-up wait.
      EXPECT_EQ(code, kExitStartFailed) << std::hex << code;
      EXPECT_EQ(box.rfind("Failed to start ", 0), 0u) << box;
      EXPECT_NE(box.find("( error : "), std::string::npos) << box;
    }
  }
}
