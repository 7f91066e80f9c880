// End-to-end: Q8Doctor.exe sees the game the launcher sees, and names the
// mistake of each game the launcher does not see. The test process stands in
// for a mis-integrated game: it shares the session's named objects with the
// doctor.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "tests/e2e/expect.h"
#include "launcher/launch.h"
#include "tests/e2e/harness.h"
#include "tools/utf8.h"

namespace {

// A launcher path in the temporary folder; the doctor does not need the file.
std::string TempLauncher(const char* file) {
  return TempDir() + file;
}

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(Doctor, SeesTheRightSemaphoreAndNamesEachMistake) {
  const struct {
    const char* launcher;
    bool mutex;        // the stand-in holds a mutex instead of a semaphore
    const char* name;  // what the stand-in holds
    DWORD exitCode;
    const char* line;  // what the doctor must say
  } cases[] = {
      {"Q8.exe", false, "$$s$$q8main.exe", 0, "game's semaphore $$s$$q8main.exe: held"},
      {"Q8.exe", false, "$$s$$Q8Main.exe", 1,
       "near miss: Semaphore \"$$s$$Q8Main.exe\": the case differs from $$s$$q8main.exe: names "
       "are case-sensitive"},
      {"Q8.exe", true, "$$s$$q8main.exe", 1,
       "near miss: Mutant \"$$s$$q8main.exe\": a mutex where a semaphore is needed"},
      {"Q8.exe", false, "q8main.exe", 1,
       "near miss: Semaphore \"q8main.exe\": no $$s$$ prefix: the launcher probes "
       "$$s$$q8main.exe"},
      {"Start.exe", false, "$$s$$q8main.exe", 1,
       "near miss: Semaphore \"$$s$$q8main.exe\": named after q8main.exe, not startmain.exe, the "
       "file this launcher probes for; a launcher named q8.exe would see it"},
      {"Q8.exe", false, "Global\\$$s$$q8main.exe", 1,
       "near miss: Semaphore \"Global\\$$s$$q8main.exe\": created with Global\\, which the "
       "launcher's probe does not see"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.launcher) + " with " + c.name);
    Handle held(c.mutex ? CreateMutexA(nullptr, FALSE, c.name)
                        : CreateSemaphoreA(nullptr, 0, 1, c.name));
    ASSERT_NE(held.get(), nullptr);
    std::string output;
    EXPECT_EQ(RunTool("Q8Doctor.exe", "\"" + TempLauncher(c.launcher) + "\"", &output), c.exitCode);
    EXPECT_NE(output.find(std::string("\n") + c.line + "\r\n"), std::string::npos) << output;
    EXPECT_EQ(CountOf(output, "near miss:"), c.exitCode == 0 ? 0 : 1) << output;
  }
}

TEST(Doctor, WaitReportsWhenALateGameAppeared) {
  // The game announces itself a measured time after the doctor says that it
  // waits, and the doctor must report that moment: late by up to one poll,
  // and either way by at most the margin for the pipe that carries its line
  // and the tick counter's granularity. Two delays further apart than that
  // window is wide, so that no fixed report passes both.
  constexpr double kPollS = kStartupPollMs / 1000.0, kMarginS = 0.25;
  for (const DWORD delayMs : {1000u, 2500u}) {
    SCOPED_TRACE(testing::Message() << "announced " << delayMs << " ms after the cue");
    GameFolder folder("Q8.exe", /*withGame=*/false);
    Handle presence;
    DWORD cue = 0, announced = 0;
    std::string output;
    EXPECT_EQ(RunTool("Q8Doctor.exe", "--wait \"" + folder.Path("Q8.exe") + "\"", &output,
                      "waiting up to",
                      [&] {
                        cue = GetTickCount();
                        Sleep(delayMs);
                        announced = GetTickCount();
                        presence.reset(CreateSemaphoreA(nullptr, 0, 1, "$$s$$q8main.exe"));
                      }),
              0u);
    const std::string appeared = "game's semaphore $$s$$q8main.exe: held, appeared after ";
    const size_t at = output.find(appeared);
    ASSERT_NE(at, std::string::npos) << output;
    const double seconds = std::strtod(output.c_str() + at + appeared.size(), nullptr);
    const double expected = (announced - cue) / 1000.0;
    EXPECT_GE(seconds, expected - kMarginS) << output;
    EXPECT_LE(seconds, expected + kPollS + kMarginS) << output;
  }
}

TEST(Doctor, InAnyScriptFolderShowsTheBytesAndFindsWhatTheLauncherFinds) {
  // A launcher named in Cyrillic probes for the game named after it; under
  // code page 932 the trail byte 0x49 ("I") of its first letter is lowered,
  // so the name holds bytes no text shows faithfully.
  const char* launcherName = u8"\u0418\u0433\u0440\u0430.exe";
  GameFolder folder(launcherName, /*withGame=*/false, 0, kAnyScriptFolder);
  Process game = folder.StartCopy("TestGame.exe", u8"\u0418\u0433\u0440\u0430Main.exe");
  ASSERT_TRUE(game.started());
  std::string output;
  EXPECT_EQ(RunTool("Q8Doctor.exe", "--wait \"" + folder.Path(launcherName) + "\"", &output), 0u);
  EXPECT_NE(output.find("\nlauncher: " + folder.Path(launcherName) + "\r\n"), std::string::npos)
      << output;
  if (GetACP() == 932) {
    EXPECT_NE(output.find(" (bytes: $$s$$\\x84i\\x84s\\x84\\x82\\x84pmain.exe)\r\n"),
              std::string::npos)
        << output;
  }

  // The launcher sees the same game: it starts nothing (there is no
  // Q8Main.EXE, so a launch would fail in a message box) and watches.
  Process launcher = folder.StartLauncher();
  MessageBoxSeen box;
  EXPECT_FALSE(WaitForMessageBox(launcher.id(), 2000, &box)) << box.text;
  EXPECT_TRUE(launcher.Running());
  // The doctor sees it by its events, whose names hold high bytes too.
  EXPECT_EQ(RunTool("Q8Doctor.exe", "\"" + folder.Path(launcherName) + "\"", &output), 0u);
  EXPECT_NE(output.find("\nlauncher running: yes (its instance event exists in this session)\r\n"
                        "quit event: exists, not set\r\n"),
            std::string::npos)
      << output;
  EXPECT_EQ(RunTool("Q8Quit.exe"), 0u);
  DWORD code = 1234;
  EXPECT_TRUE(launcher.Wait(5000, &code));
  EXPECT_EQ(code, 0u);
}

TEST(Doctor, AloneInItsConsoleItWaitsForAKeyAndBesideACommandPromptItDoesNot) {
  const std::string doctor =
      "\"" + BuildDir() + "Q8Doctor.exe\" \"" + TempLauncher("Q8.exe") + "\"";
  DWORD code = 1234;
  // From a command prompt, which shares its console: it ends when it is done.
  Process prompt = StartInOwnConsole("cmd.exe /d /s /c \"" + doctor + "\"");
  ASSERT_TRUE(prompt.started());
  EXPECT_TRUE(prompt.Wait(20000, &code)) << "the doctor waited beside a command prompt";
  EXPECT_EQ(code, 1u) << "the doctor's own exit code, through the prompt";
  // Alone, as a double-click starts it: it waits, and a key ends it.
  Process alone = StartInOwnConsole(doctor);
  ASSERT_TRUE(alone.started());
  EXPECT_FALSE(alone.Wait(3000, &code)) << "it ended without waiting for a key";
  ASSERT_TRUE(PressKeyInConsoleOf(alone.id()));
  EXPECT_TRUE(alone.Wait(10000, &code)) << "a key did not end it";
  EXPECT_EQ(code, 1u);
}
