// End-to-end: a game folder and arguments in scripts no ANSI code page holds
// reach the game and the message box unchanged.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/expect.h"
#include "tests/e2e/harness.h"
#include "tools/utf8.h"

namespace {

constexpr char kArguments[] = u8"-name \u9648 -x \u00E9 \"a b\" \U0001F3AE";

// A run meant for another ANSI code page names it in Q8_E2E_CODE_PAGE: Wine
// takes the code page from the locale and quietly keeps its default when
// that locale is missing, which would make such a run prove nothing.
class CodePageCheck : public testing::Environment {
  void SetUp() override {
    if (const char* expected = std::getenv("Q8_E2E_CODE_PAGE")) {
      ASSERT_EQ(GetACP(), std::strtoul(expected, nullptr, 10)) << "the ANSI code page";
    }
  }
};
testing::Environment* const kCodePageCheck = testing::AddGlobalTestEnvironment(new CodePageCheck);

}  // namespace

TEST(AnyScript, TheGameStartsFromAnyFolderWithItsArgumentsAndTheBoxNamesItsTruePath) {
  for (bool withGame : {true, false}) {
    SCOPED_TRACE(withGame ? "with the game" : "without the game");
    GameFolder folder("Q8.exe", withGame, 0, kAnyScriptFolder);
    ASSERT_NE(GetFileAttributesW(Wide(folder.Path("Q8.exe")).c_str()), INVALID_FILE_ATTRIBUTES);
    if (withGame) {
      folder.ConfigureGame(0, 2000, 2000);
      Process launcher = folder.StartLauncher(kArguments);
      ASSERT_TRUE(WaitForTestGame(true, 10000));
      ASSERT_TRUE(WaitForTestGame(false, 10000));
      ExpectEndedByGracePeriodAfter(launcher, GetTickCount());  // it saw the game come and go
      EXPECT_EQ(folder.GameStarts(), std::vector<std::string>{kArguments});
    } else {
      Process launcher = folder.StartLauncher(kArguments);
      ExpectFailureBox(
          launcher, 20000,
          "Failed to start " + folder.Path("Q8Main.EXE") + "!\r\n( error : ERROR_FILE_NOT_FOUND )");
    }
  }
}
