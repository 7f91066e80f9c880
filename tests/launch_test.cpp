#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/command_line.h"
#include "launcher/format.h"
#include "launcher/instance_guard/event_names.h"
#include "launcher/launch.h"
#include "launcher/launcher.h"
#include "tests/scenario.h"

namespace {

std::u16string TargetFor(const std::u16string& path, bool unterminated = false) {
  fake::Reset();
  fake::SetUnterminatedTruncation(unterminated);
  fake::SetWideModulePath(path);
  char16_t target[kTargetBufferSize];
  std::fill(target, target + kTargetBufferSize, u'\\');  // what the buffer held must not matter
  BuildTargetPath(target);
  return target;
}

}  // namespace

TEST(CommandTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
  const struct {
    const char16_t* line;
    const char16_t* tail;
  } cases[] = {
      {u"\"C:\\Games\\Q8\\Q8.exe\" -window -skip", u"-window -skip"},
      {u"\"C:\\My Games\\Q8.exe\"", u""},
      {u"Q8.exe", u""},
      {u"", u""},
      {u"Q8.exe \t\x01\x1F x  y ", u"x  y "},
      {u"Q!.exe !x", u"!x"},  // U+0021 is the first unit that is no blank
      {u"C:\\My\" \"Games\\Q8.exe +connect", u"+connect"},  // quotes inside the token
      {u"\"C:\\Q8.exe -unclosed", u""},
      {u"Q8\u00A0.exe x", u"x"},  // characters above U+0020 are not blanks
      {u"Q8.exe\x7F x", u"x"},
      // Only whole units count: U+0120 and U+0122 are no blank and no quote.
      {u"Q8\u0120.exe x", u"x"},
      {u"Q8\u0122.exe x\u0122 y", u"x\u0122 y"},
      {u"\"C:\\Q8 \U0001F3AE \u0418\u0433\u0440\u0430 \u9648 \u8868 \u00E9\\Q8.exe\" -name \u9648 "
       u"-x \u00E9 \"a b\" \U0001F3AE",
       u"-name \u9648 -x \u00E9 \"a b\" \U0001F3AE"},
      {u"Q8\xD83C.exe x", u"x"},    // a lone surrogate is just a character
      {u"\U0001F3AE\u3000x", u""},  // so is the ideographic space
  };
  for (const auto& c : cases) EXPECT_EQ(std::u16string(CommandTail(c.line)), c.tail);
  EXPECT_EQ(std::u16string(CommandTail(nullptr)), u"");
}

TEST(ErrorName, NamesTheTableAndFormatsEverythingElse) {
  const struct {
    unsigned long code;
    const char16_t* name;
  } cases[] = {
      {2, u"ERROR_FILE_NOT_FOUND"},
      {3, u"ERROR_PATH_NOT_FOUND"},
      {5, u"ERROR_ACCESS_DENIED"},
      {8, u"ERROR_NOT_ENOUGH_MEMORY"},
      {32, u"ERROR_SHARING_VIOLATION"},
      {1155, u"ERROR_NO_ASSOCIATION"},
      {1156, u"ERROR_DDE_FAIL"},
      {1157, u"ERROR_DLL_NOT_FOUND"},
      {1223, u"ERROR_CANCELLED"},
      {0, u"0x00000000"},
      {6, u"0x00000006"},
      {1154, u"0x00000482"},
      {0xDEADBEEF, u"0xdeadbeef"},
      {0xFFFFFFFF, u"0xffffffff"},
  };
  for (const auto& c : cases) {
    char16_t hex[11];
    std::fill(hex, hex + 11, u'#');
    EXPECT_EQ(std::u16string(ErrorName(c.code, hex)), c.name);
  }
}

TEST(FormatText, CutsTheTextToItsBufferAndNeverWritesPastIt) {
  // Every size from none to more than the text needs; the units after the
  // buffer's size must stay as they were.
  const std::u16string whole = u"<ab|c> 100%";
  for (std::size_t size = 0; size <= whole.size() + 2; ++size) {
    char16_t buffer[16];
    std::fill(buffer, buffer + 16, u'#');
    FormatText(buffer, size, "<%s|%s> 100%", u"ab", u"c");
    if (size > 0) EXPECT_EQ(std::u16string(buffer), whole.substr(0, size - 1)) << size;
    EXPECT_EQ(std::u16string(buffer + size, buffer + 16), std::u16string(16 - size, u'#')) << size;
  }
}

TEST(TargetPath, ReplacesTheLaunchersFileName) {
  const struct {
    const char16_t* path;
    const char16_t* target;
  } cases[] = {
      {u"C:\\Games\\Q8\\Q8.exe", u"C:\\Games\\Q8\\Q8Main.EXE"},
      {u"C:\\Games\\Start.exe", u"C:\\Games\\Q8Main.EXE"},
      {u"C:/Games/Q8.exe", u"C:/Games/Q8Main.EXE"},
      {u"C:Q8.exe", u"C:Q8Main.EXE"},
      {u"Q8.exe", u"Q8Main.EXE"},
      {u"C:\\a/b\\c/Q8.exe", u"C:\\a/b\\Q8Main.EXE"},  // a backslash wins over a later slash
      {u"C:/a:b/Q8.exe", u"C:/a:b/Q8Main.EXE"},
      {u"C:\\Games\\", u"C:\\Games\\Q8Main.EXE"},
      // Any script, and only whole units as separators: U+015C, U+FF3C and
      // U+8868 (whose second byte in code page 932 is a backslash) are not.
      {u"C:\\Q8 \U0001F3AE \u0418\u0433\u0440\u0430 \u9648 \u8868 \u00E9\\Q8.exe",
       u"C:\\Q8 \U0001F3AE \u0418\u0433\u0440\u0430 \u9648 \u8868 \u00E9\\Q8Main.EXE"},
      {u"C:\\G\\A\u015CB\uFF3CC\u8868.exe", u"C:\\G\\Q8Main.EXE"},
      {u"C:\\\U0001F3AE.exe", u"C:\\Q8Main.EXE"},
  };
  for (const auto& c : cases) EXPECT_EQ(TargetFor(c.path), c.target);

  fake::Reset();
  fake::FailModulePath();
  char16_t target[kTargetBufferSize];
  BuildTargetPath(target);
  EXPECT_EQ(std::u16string(target), u"Q8Main.EXE");
}

TEST(TargetPath, FileNamesStartingNearTheEndOfTheBufferAreWrittenWhole) {
  // "Q8Main.EXE" and its terminator fill positions 250..260 of the 261-unit
  // path when the file name starts at 250; later starts need the slack. Older
  // systems fill all 260 units and leave no terminator, so the name can start
  // at 260. Folders of surrogate pairs count two units a character.
  for (bool unterminated : {false, true}) {
    for (std::size_t nameAt : {249u, 250u, 251u, 255u, 258u, 259u, 260u}) {
      std::u16string dir = u"C:\\" + std::u16string(nameAt - 4, u'd') + u"\\";
      if (nameAt % 2 == 0) dir.replace(3, 4, u"\U0001F3AE\U0001F3AE");
      ASSERT_EQ(dir.size(), nameAt);
      // Cut before that last backslash, the path keeps only its first folder.
      const bool cut = nameAt == 260 && !unterminated;
      EXPECT_EQ(TargetFor(dir + u"Q8.exe", unterminated),
                cut ? u"C:\\Q8Main.EXE" : dir + u"Q8Main.EXE")
          << "name at " << nameAt << (unterminated ? ", unterminated" : "");
    }
  }
}

using Entry = Scenario;

TEST_F(Entry, ASecondLauncherEndsAtOnceAndLaunchesNothing) {
  fake::Hold(kInstanceEventName, fake::Type::kEvent);
  EXPECT_EQ(RunLauncher(), 0);  // the number itself: scripts that start the launcher test it
  EXPECT_TRUE(fake::Launches().empty());
  EXPECT_TRUE(fake::Messages().empty());
  EXPECT_EQ(fake::Elapsed(), 0u);
  EXPECT_EQ(fake::References(kInstanceEventName), 1);
}

TEST_F(Entry, AnInstanceEventThatCannotBeCreatedMeansNotFirst) {
  fake::FailNextEventCreation(5);
  EXPECT_EQ(RunLauncher(), kExitOk);
  EXPECT_TRUE(fake::Launches().empty());
}

TEST_F(Entry, AGameAlreadyRunningIsNotLaunchedAgainButWatched) {
  fake::Hold(kGamePresence, fake::Type::kSemaphore);
  fake::At(5000, [] { fake::Drop(kGamePresence); });
  EXPECT_EQ(RunLauncher(), kExitOk);
  EXPECT_TRUE(fake::Launches().empty());
  EXPECT_TRUE(fake::Messages().empty());
  EXPECT_EQ(fake::Elapsed(), 5000u + 15125u) << "it stayed for the game and a grace period";
}

TEST_F(Entry, LaunchesTheGameBesideItWithTheShellRecordAsRequired) {
  PresentBetween(kGamePresence, 1000);
  QuitAt(1000);
  EXPECT_EQ(RunLauncher(u"\"C:\\Games\\Q8\\Q8.exe\"  -window -skip"), kExitOk);
  ASSERT_EQ(fake::Launches().size(), 1u);
  const fake::Launch& l = fake::Launches()[0];
  EXPECT_EQ(l.cbSize, sizeof(plat::ShellExecuteInfo));
  EXPECT_EQ(l.mask, 0x400u);
  EXPECT_EQ(l.verb, u"open");
  EXPECT_EQ(l.file, u"C:\\Games\\Q8\\Q8Main.EXE");
  EXPECT_EQ(l.parameters, u"-window -skip");
  EXPECT_EQ(l.show, 5);
  EXPECT_FALSE(l.hasOwner || l.hasDirectory || l.hasExtraFields);
  EXPECT_TRUE(fake::Messages().empty());
  EXPECT_EQ(fake::Elapsed(), 1000u) << "seen at the fourth poll";
}

TEST_F(Entry, NoArgumentsHandTheGameAnEmptyTail) {
  PresentBetween(kGamePresence, 0);
  QuitAt(0);
  EXPECT_EQ(RunLauncher(), kExitOk);
  ASSERT_EQ(fake::Launches().size(), 1u);
  EXPECT_EQ(fake::Launches()[0].parameters, u"");
  EXPECT_EQ(fake::Elapsed(), 250u) << "the first poll comes 250 ms after the launch";
}

TEST_F(Entry, AFailedLaunchNamesItsErrorInAMessageBox) {
  for (unsigned long code : {2ul, 3ul, 5ul, 8ul, 32ul, 1155ul, 1156ul, 1157ul, 1223ul, 6ul}) {
    SCOPED_TRACE(code);
    SetUp();
    fake::ScriptLaunch(false, code);
    EXPECT_EQ(RunLauncher(), -1);
    ASSERT_EQ(fake::Messages().size(), 1u);
    const fake::Message& m = fake::Messages()[0];
    char16_t hex[11];
    EXPECT_EQ(m.text, u"Failed to start C:\\Games\\Q8\\Q8Main.EXE!\r\n( error : " +
                          std::u16string(ErrorName(code, hex)) + u" )");
    EXPECT_EQ(m.caption, u"Game Launch Error");
    EXPECT_EQ(m.type, 0x10u);
    EXPECT_EQ(fake::Elapsed(), 0u);
    EXPECT_EQ(fake::OpenHandles(), 0);
  }
}

TEST_F(Entry, StartupWaitTimesOutAtThirtySecondsOnEitherSideOfTheTickWrap) {
  const std::u16string timedOut =
      u"Failed to start C:\\Games\\Q8\\Q8Main.EXE!\r\n( timed out waitinf for game to startup )";
  // The last poll that can succeed lies at 29750 ms; the one at 30000 ms
  // times out even when it sees the game.
  // Probes that take 169 ms each put the 72nd poll 29999 ms after the start:
  // not yet timed out, so a 73rd poll follows.
  const struct {
    plat::Tick startTick;
    std::uint64_t gameAt;
    int exitCode;
    std::uint64_t probeMs = 0, polls = 120;
  } cases[] = {
      {1000, 29750, kExitOk},
      {1000, 29751, kExitStartFailed},
      {1000, 30000, kExitStartFailed},
      {0xFFFFFFFFu - 20000, 29750, kExitOk},
      {0xFFFFFFFFu - 20000, 30000, kExitStartFailed},
      {0xFFFFFF00u, 29750, kExitOk},
      {0xFFFFFF00u, UINT64_MAX - 1, kExitStartFailed},
      {1000, UINT64_MAX - 1, kExitStartFailed, 169, 73},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "start tick " << c.startTick << ", game at " << c.gameAt);
    fake::Reset(c.startTick);
    fake::SetProbeMs(c.probeMs);
    fake::SetModulePath(kLauncherPath);
    PresentBetween(kGamePresence, c.gameAt);
    QuitAt(c.gameAt);  // so the run ends where the startup wait does
    EXPECT_EQ(RunLauncher(), c.exitCode);
    if (c.exitCode == kExitOk) {
      EXPECT_EQ(fake::Elapsed(), 29750u);
      EXPECT_TRUE(fake::Messages().empty());
    } else {
      EXPECT_EQ(fake::Elapsed(), c.probeMs + c.polls * (250 + c.probeMs));
      ASSERT_EQ(fake::Messages().size(), 1u);
      EXPECT_EQ(fake::Messages()[0].text, timedOut);
      EXPECT_EQ(fake::Calls(fake::Op::kOpenSemaphore), 1 + c.polls) << "one probe per poll";
    }
    EXPECT_EQ(fake::OpenHandles(), 0);
  }
}

TEST_F(Entry, WithoutItsOwnPathTheLauncherStartsTheRelativeName) {
  fake::FailModulePath();
  EXPECT_EQ(RunLauncher(), kExitStartFailed);  // nor can it build the name to wait for
  ASSERT_EQ(fake::Launches().size(), 1u);
  EXPECT_EQ(fake::Launches()[0].file, u"Q8Main.EXE");
  ASSERT_EQ(fake::Messages().size(), 1u);
  EXPECT_EQ(fake::Messages()[0].text,
            u"Failed to start Q8Main.EXE!\r\n( timed out waitinf for game to startup )");
}

TEST_F(Entry, LaunchesFromAnyFolderWithItsTailWholeAndNamesTheTruePath) {
  // The ANSI path is what code page 1252 makes of the folder: the presence
  // names come from it; the launch and its message from the UTF-16 path.
  const std::u16string tail = u"-name \u9648 -x \u00E9 \"a b\" \U0001F3AE";
  const struct {
    const char* path;
    const char16_t* widePath;
    const char16_t* target;
  } cases[] = {
      {"C:/Games/Q8.exe", u"C:/Games/Q8.exe", u"C:/Games/Q8Main.EXE"},
      {"C:Q8.exe", u"C:Q8.exe", u"C:Q8Main.EXE"},
      {"C:\\Q8 ?? ???? ? ? \xE9\\Q8.exe",
       u"C:\\Q8 \U0001F3AE \u0418\u0433\u0440\u0430 \u9648 \u8868 \u00E9\\Q8.exe",
       u"C:\\Q8 \U0001F3AE \u0418\u0433\u0440\u0430 \u9648 \u8868 \u00E9\\Q8Main.EXE"},
  };
  for (const auto& c : cases) {
    for (bool fails : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.path << (fails ? ", failing" : ""));
      SetUp();
      fake::SetModulePath(c.path);
      fake::SetWideModulePath(c.widePath);
      if (fails) fake::ScriptLaunch(false, 2);
      PresentBetween(kGamePresence, 500);
      QuitAt(500);
      EXPECT_EQ(RunLauncher(u"\"" + std::u16string(c.widePath) + u"\" " + tail),
                fails ? kExitStartFailed : kExitOk);
      ASSERT_EQ(fake::Launches().size(), 1u);
      EXPECT_EQ(fake::Launches()[0].file, c.target);
      EXPECT_EQ(fake::Launches()[0].parameters, tail);
      ASSERT_EQ(fake::Messages().size(), fails ? 1u : 0u);
      if (fails) {
        EXPECT_EQ(fake::Messages()[0].text, u"Failed to start " + std::u16string(c.target) +
                                                u"!\r\n( error : ERROR_FILE_NOT_FOUND )");
      }
    }
  }
}

TEST_F(Entry, ARenamedLauncherWaitsForItsOwnNameAndTimesOut) {
  fake::SetModulePath("C:\\Games\\Q8\\Start.exe");
  PresentBetween(kGamePresence, 300);  // the game announces itself as q8main.exe
  EXPECT_EQ(RunLauncher(), kExitStartFailed);
  ASSERT_EQ(fake::Launches().size(), 1u);
  EXPECT_EQ(fake::Launches()[0].file, u"C:\\Games\\Q8\\Q8Main.EXE");
  EXPECT_EQ(fake::ProbedNames().back(), "$$s$$startmain.exe");
  EXPECT_EQ(fake::Elapsed(), 30000u);
}

TEST_F(Entry, AQuitEventAlreadySetDoesNotStopTheLaunch) {
  fake::Hold(kQuitEventName, fake::Type::kEvent);
  fake::Signal(kQuitEventName);
  PresentBetween(kGamePresence, 400);
  EXPECT_EQ(RunLauncher(), kExitOk);
  EXPECT_EQ(fake::Launches().size(), 1u);
  EXPECT_EQ(fake::Elapsed(), 500u) << "it ends at the watch loop's first step";
}
