#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/instance_guard/event_names.h"
#include "launcher/launch.h"
#include "launcher/launcher.h"
#include "tests/scenario.h"

namespace {

std::string TargetFor(const std::string& path) {
  fake::Reset();
  fake::SetModulePath(path);
  char target[kTargetBufferSize];
  BuildTargetPath(target);
  return target;
}

}  // namespace

TEST(CommandTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
  const struct {
    const char* line;
    const char* tail;
  } cases[] = {
      {"\"C:\\Games\\Q8\\Q8.exe\" -window -skip", "-window -skip"},
      {"\"C:\\My Games\\Q8.exe\"", ""},
      {"Q8.exe", ""},
      {"", ""},
      {"Q8.exe \t\x01\x1F x  y ", "x  y "},
      {"C:\\My\" \"Games\\Q8.exe +connect", "+connect"},  // quotes inside the token
      {"\"C:\\Q8.exe -unclosed", ""},
      {"Q8\xA0.exe x", "x"},  // bytes above 0x7F are not blanks
      {"Q8.exe\x7F x", "x"},
      {"Q8.exe\xA0x", ""},
  };
  fake::Reset();
  for (const auto& c : cases) EXPECT_STREQ(CommandTail(c.line), c.tail) << "line " << c.line;
  EXPECT_STREQ(CommandTail(nullptr), "");
}

TEST(CommandTail, ALeadByteTakesTheNextByteUnlessItIsTheTerminator) {
  fake::Reset();
  fake::SetLeadBytes({0x81, 0x95});
  EXPECT_STREQ(CommandTail("Q\x81\"8 x"), "x");  // the quote is a trail byte
  EXPECT_STREQ(CommandTail("Q\x95 8 x"), "x");   // so is the space
  EXPECT_STREQ(CommandTail("Q8\x81"), "");
  EXPECT_STREQ(CommandTail("\"Q\x81\" x\" y"), "y");
  fake::SetLeadBytes({});
  EXPECT_STREQ(CommandTail("Q\x81\"8 x"), "");  // without the code page the quote opens
}

TEST(ErrorName, NamesTheTableAndFormatsEverythingElse) {
  const struct {
    unsigned long code;
    const char* name;
  } cases[] = {
      {2, "ERROR_FILE_NOT_FOUND"},
      {3, "ERROR_PATH_NOT_FOUND"},
      {5, "ERROR_ACCESS_DENIED"},
      {8, "ERROR_NOT_ENOUGH_MEMORY"},
      {32, "ERROR_SHARING_VIOLATION"},
      {1155, "ERROR_NO_ASSOCIATION"},
      {1156, "ERROR_DDE_FAIL"},
      {1157, "ERROR_DLL_NOT_FOUND"},
      {1223, "ERROR_CANCELLED"},
      {0, "0x00000000"},
      {6, "0x00000006"},
      {1154, "0x00000482"},
      {0xDEADBEEF, "0xdeadbeef"},
      {0xFFFFFFFF, "0xffffffff"},
  };
  for (const auto& c : cases) {
    char hex[11];
    std::memset(hex, '#', sizeof hex);
    EXPECT_STREQ(ErrorName(c.code, hex), c.name);
  }
}

TEST(TargetPath, ReplacesTheLaunchersFileName) {
  const struct {
    const char* path;
    const char* target;
  } cases[] = {
      {"C:\\Games\\Q8\\Q8.exe", "C:\\Games\\Q8\\Q8Main.EXE"},
      {"C:\\Games\\Start.exe", "C:\\Games\\Q8Main.EXE"},
      {"C:/Games/Q8.exe", "C:/Games/Q8Main.EXE"},
      {"C:Q8.exe", "C:Q8Main.EXE"},
      {"Q8.exe", "Q8Main.EXE"},
      {"C:\\a/b\\c/Q8.exe", "C:\\a/b\\Q8Main.EXE"},  // a backslash wins over a later slash
      {"C:/a:b/Q8.exe", "C:/a:b/Q8Main.EXE"},
      {"C:\\G\\A\x95\\B.exe", "C:\\G\\A\x95\\Q8Main.EXE"},
      {"C:\\Games\\", "C:\\Games\\Q8Main.EXE"},
  };
  for (const auto& c : cases) EXPECT_EQ(TargetFor(c.path), c.target);

  fake::Reset();
  fake::FailModulePath();
  char target[kTargetBufferSize];
  BuildTargetPath(target);
  EXPECT_STREQ(target, "Q8Main.EXE");
}

TEST(TargetPath, AnUnterminatedFullPathStillGetsTheGamesNameWhole) {
  // Older systems fill all 260 bytes and leave no terminator: the last
  // separator can then be the 260th byte, and the name starts at 260.
  const std::string dir = "C:\\" + std::string(256, 'd') + "\\";
  ASSERT_EQ(dir.size(), 260u);
  fake::Reset();
  fake::SetUnterminatedTruncation(true);
  fake::SetModulePath(dir + "Q8.exe");
  char target[kTargetBufferSize];
  BuildTargetPath(target);
  EXPECT_EQ(std::string(target), dir + "Q8Main.EXE");
}

TEST(TargetPath, FileNamesStartingNearTheEndOfTheBufferAreWrittenWhole) {
  // "Q8Main.EXE" and its terminator fill positions 250..260 of the 261-byte
  // path when the file name starts at 250; later starts need the slack.
  for (std::size_t nameAt : {249u, 250u, 251u, 255u, 258u, 259u}) {
    std::string dir = "C:\\" + std::string(nameAt - 4, 'd') + "\\";
    ASSERT_EQ(dir.size(), nameAt);
    std::string path = (dir + "Q8.exe").substr(0, 259);
    EXPECT_EQ(TargetFor(path), dir + "Q8Main.EXE") << "name at " << nameAt;
  }
}

using Entry = Scenario;

TEST_F(Entry, ASecondLauncherEndsAtOnceAndLaunchesNothing) {
  fake::Hold(kInstanceEventName, fake::Type::kEvent);
  EXPECT_EQ(RunLauncher(), kExitOk);
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
  EXPECT_GE(fake::Elapsed(), 5000u + 15125u) << "it stayed for the game and a grace period";
}

TEST_F(Entry, LaunchesTheGameBesideItWithTheShellRecordAsRequired) {
  PresentBetween(kGamePresence, 1000);
  QuitAt(1000);
  EXPECT_EQ(RunLauncher("\"C:\\Games\\Q8\\Q8.exe\"  -window -skip"), kExitOk);
  ASSERT_EQ(fake::Launches().size(), 1u);
  const fake::Launch& l = fake::Launches()[0];
  EXPECT_EQ(l.cbSize, sizeof(plat::ShellExecuteInfo));
  EXPECT_EQ(l.mask, 0x400u);
  EXPECT_EQ(l.verb, "open");
  EXPECT_EQ(l.file, "C:\\Games\\Q8\\Q8Main.EXE");
  EXPECT_EQ(l.parameters, "-window -skip");
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
  EXPECT_EQ(fake::Launches()[0].parameters, "");
  EXPECT_EQ(fake::Elapsed(), 250u) << "the first poll comes 250 ms after the launch";
}

TEST_F(Entry, AFailedLaunchNamesItsErrorInAMessageBox) {
  for (unsigned long code : {2ul, 3ul, 5ul, 8ul, 32ul, 1155ul, 1156ul, 1157ul, 1223ul, 6ul}) {
    SCOPED_TRACE(code);
    SetUp();
    fake::ScriptLaunch(false, code);
    EXPECT_EQ(RunLauncher(), kExitStartFailed);
    ASSERT_EQ(fake::Messages().size(), 1u);
    const fake::Message& m = fake::Messages()[0];
    char hex[11];
    EXPECT_EQ(m.text, std::string("Failed to start C:\\Games\\Q8\\Q8Main.EXE!\r\n( error : ") +
                          ErrorName(code, hex) + " )");
    EXPECT_EQ(m.caption, "Game Launch Error");
    EXPECT_EQ(m.type, 0x10u);
    EXPECT_EQ(fake::Elapsed(), 0u);
    EXPECT_EQ(fake::OpenHandles(), 0);
  }
}

TEST_F(Entry, StartupWaitTimesOutAtThirtySecondsOnEitherSideOfTheTickWrap) {
  const std::string timedOut =
      "Failed to start C:\\Games\\Q8\\Q8Main.EXE!\r\n( timed out waitinf for game to startup )";
  // The last poll that can succeed lies at 29750 ms; the one at 30000 ms
  // times out even when it sees the game.
  const struct {
    plat::Tick startTick;
    std::uint64_t gameAt;
    int exitCode;
  } cases[] = {
      {1000, 29750, kExitOk},
      {1000, 29751, kExitStartFailed},
      {1000, 30000, kExitStartFailed},
      {0xFFFFFFFFu - 20000, 29750, kExitOk},
      {0xFFFFFFFFu - 20000, 30000, kExitStartFailed},
      {0xFFFFFF00u, 29750, kExitOk},
      {0xFFFFFF00u, UINT64_MAX - 1, kExitStartFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "start tick " << c.startTick << ", game at " << c.gameAt);
    fake::Reset(c.startTick);
    fake::SetModulePath(kLauncherPath);
    PresentBetween(kGamePresence, c.gameAt);
    QuitAt(c.gameAt);  // so the run ends where the startup wait does
    EXPECT_EQ(RunLauncher(), c.exitCode);
    if (c.exitCode == kExitOk) {
      EXPECT_EQ(fake::Elapsed(), 29750u);
      EXPECT_TRUE(fake::Messages().empty());
    } else {
      EXPECT_EQ(fake::Elapsed(), 30000u);
      ASSERT_EQ(fake::Messages().size(), 1u);
      EXPECT_EQ(fake::Messages()[0].text, timedOut);
      EXPECT_EQ(fake::Calls(fake::Op::kOpenSemaphore), 1 + 120) << "one probe per poll";
    }
    EXPECT_EQ(fake::OpenHandles(), 0);
  }
}

TEST_F(Entry, WithoutItsOwnPathTheLauncherStartsTheRelativeName) {
  fake::FailModulePath();
  EXPECT_EQ(RunLauncher(), kExitStartFailed);  // nor can it build the name to wait for
  ASSERT_EQ(fake::Launches().size(), 1u);
  EXPECT_EQ(fake::Launches()[0].file, "Q8Main.EXE");
  ASSERT_EQ(fake::Messages().size(), 1u);
  EXPECT_EQ(fake::Messages()[0].text,
            "Failed to start Q8Main.EXE!\r\n( timed out waitinf for game to startup )");
}

TEST_F(Entry, SlashAndColonOnlyPaths) {
  const struct {
    const char* path;
    const char* target;
  } cases[] = {{"C:/Games/Q8.exe", "C:/Games/Q8Main.EXE"}, {"C:Q8.exe", "C:Q8Main.EXE"}};
  for (const auto& c : cases) {
    SetUp();
    fake::SetModulePath(c.path);
    PresentBetween(kGamePresence, 500);
    QuitAt(500);
    EXPECT_EQ(RunLauncher(), kExitOk);
    ASSERT_EQ(fake::Launches().size(), 1u);
    EXPECT_EQ(fake::Launches()[0].file, c.target);
  }
}

TEST_F(Entry, ARenamedLauncherWaitsForItsOwnNameAndTimesOut) {
  fake::SetModulePath("C:\\Games\\Q8\\Start.exe");
  PresentBetween(kGamePresence, 300);  // the game announces itself as q8main.exe
  EXPECT_EQ(RunLauncher(), kExitStartFailed);
  ASSERT_EQ(fake::Launches().size(), 1u);
  EXPECT_EQ(fake::Launches()[0].file, "C:\\Games\\Q8\\Q8Main.EXE");
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
