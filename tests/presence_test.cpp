#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/presence/announce.h"
#include "launcher/presence/presence.h"
#include "tests/fake_windows/windows.h"
#include "tests/naming_oracle.h"
#include "tests/scenario.h"

// q8_presence.h's Q8PresenceBegin and Q8PresenceEnd (presence_header_calls.cpp).
HANDLE HeaderPresenceBegin();
void HeaderPresenceEnd(HANDLE presence);

namespace {

// What a probe answers and which names it tried, for one launcher path.
struct ProbeResult {
  bool answer;
  std::vector<std::string> probed;
};

template <bool (*Probe)()>
ProbeResult ProbeFor(const std::string& path, const std::string& held) {
  fake::Reset();
  fake::SetModulePath(path);
  if (!held.empty()) fake::Hold(held, fake::Type::kSemaphore);
  const bool answer = Probe();
  EXPECT_EQ(fake::OpenHandles(), 0);
  return {answer, fake::ProbedNames()};
}

std::string Built(bool (*build)(char (&)[kNameBufferSize]), const std::string& path,
                  bool unterminated = false) {
  fake::Reset();
  fake::SetUnterminatedTruncation(unterminated);
  fake::SetModulePath(path);
  char name[kNameBufferSize];
  return build(name) ? std::string(name) : std::string();
}

// The name q8_presence.h's Q8PresenceBegin creates for a program at path, ""
// when it creates none; it must leave no semaphore open after Q8PresenceEnd.
std::string Announced(const std::string& path, bool unterminated = false) {
  fake::Reset();
  fake::SetUnterminatedTruncation(unterminated);
  fake::SetModulePath(path);
  fake_windows::created.clear();
  HANDLE presence = HeaderPresenceBegin();
  const std::string name = fake_windows::created.empty() ? "" : fake_windows::created.back();
  EXPECT_EQ(presence != nullptr, !name.empty());
  EXPECT_LE(fake_windows::created.size(), 1u);
  HeaderPresenceEnd(presence);
  EXPECT_EQ(fake_windows::open, 0);
  return name;
}

}  // namespace

TEST(TrimToFileNameLower, CutsAtTheLastSeparatorAndLowersOnlyAtoZ) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"C:\\Games\\Q8\\Q8Main.exe", "q8main.exe"},
      {"C:/Games/Q8MAIN.EXE", "q8main.exe"},
      {"C:Q8.exe", "q8.exe"},
      {"Q8.exe", "q8.exe"},
      {"a\\b/c:D", "d"},
      {"\\Abc", "\\abc"},  // the first byte is never taken as a separator
      {"dir\\", ""},
      {"[Q]@`\xC4\xE9.EXE", "[q]@`\xC4\xE9.exe"},  // bytes next to A-Z and high bytes stay
      {"C:\\ZA\\AZ{z}.EXE", "az{z}.exe"},          // both ends of A-Z
      {"", ""},
  };
  for (const auto& c : cases) {
    char buffer[64];
    std::strcpy(buffer, c.in);
    TrimToFileNameLower(buffer, std::strlen(buffer));
    EXPECT_STREQ(buffer, c.out) << "input " << c.in;
  }
}

TEST(PresenceNames, FollowTheNamingRule) {
  const struct {
    const char* path;
    const char* game;       // "" when the game probe opens nothing
    const char* companion;  // "" when the companion probe opens nothing
  } cases[] = {
      {"C:\\Games\\Q8\\Q8.exe", "$$s$$q8main.exe", "$$s$$vek launcher.exe"},
      {"D:\\GAMES\\Q8.EXE", "$$s$$q8main.exe", "$$s$$vek launcher.exe"},
      {"C:\\Games\\Start.exe", "$$s$$startmain.exe", "$$s$$vek launcher.exe"},
      {"C:\\Games\\Q8.tar.exe", "$$s$$q8.tarmain.exe", "$$s$$vek launcher.exe"},
      // No extension: the dot of a directory is the one replaced.
      {"C:\\My.Games\\Launcher", "$$s$$mymain.exe", "$$s$$vek launcher.exe"},
      {"C:\\Games\\Launcher", "", "$$s$$vek launcher.exe"},
      {"C:\\G\\\xC4\xE9Q8.exe", "$$s$$\xC4\xE9q8main.exe", "$$s$$vek launcher.exe"},
      // A double-byte character whose trail byte is "\" still counts as one.
      {"C:\\G\\A\x95\\B.exe", "$$s$$bmain.exe", "$$s$$vek launcher.exe"},
      {"Q8.exe", "$$s$$q8main.exe", ""},
      {"C:/Games/Q8.exe", "$$s$$q8main.exe", ""},
      // A leading separator is never examined, so it stays.
      {"\\Q8.exe", "$$s$$\\q8main.exe", "$$s$$\\vek launcher.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string game = c.game, companion = c.companion;
    for (bool held : {false, true}) {
      ProbeResult g = ProbeFor<IsGameRunning>(c.path, held ? game : "");
      EXPECT_EQ(g.answer, held && !game.empty());
      EXPECT_EQ(g.probed, game.empty() ? std::vector<std::string>{} : std::vector{game});
      ProbeResult v = ProbeFor<IsCompanionRunning>(c.path, held ? companion : "");
      EXPECT_EQ(v.answer, held && !companion.empty());
      EXPECT_EQ(v.probed, companion.empty() ? std::vector<std::string>{} : std::vector{companion});
    }
  }
}

TEST(PresenceNames, AFailedModulePathOpensNothing) {
  fake::Reset();
  fake::FailModulePath();
  fake::Hold("$$s$$q8main.exe", fake::Type::kSemaphore);
  EXPECT_FALSE(IsGameRunning());
  EXPECT_FALSE(IsCompanionRunning());
  EXPECT_TRUE(fake::ProbedNames().empty());
}

// Each answer the open can give: a handle, access denied (the semaphore is
// held by a program with more rights), no such name, another kind of object.
TEST(PresenceNames, ASemaphoreCountsAsPresenceEvenWhenItRefusesTheLauncher) {
  const struct {
    bool held;
    fake::Type type;
    bool present;
  } cases[] = {{true, fake::Type::kSemaphore, true},
               {true, fake::Type::kDeniedSemaphore, true},
               {false, fake::Type::kSemaphore, false},
               {true, fake::Type::kMutex, false},
               {true, fake::Type::kEvent, false}};
  for (const auto& c : cases) {
    fake::Reset();
    fake::SetModulePath(kLauncherPath);
    if (c.held) {
      fake::Hold(kGamePresence, c.type);
      fake::Hold(kCompanionPresence, c.type);
    }
    EXPECT_EQ(IsGameRunning(), c.present) << static_cast<int>(c.type) << " held: " << c.held;
    EXPECT_EQ(IsCompanionRunning(), c.present) << static_cast<int>(c.type) << " held: " << c.held;
    EXPECT_EQ(fake::OpenHandles(), 0);
  }
}

// Deep install folders: the companion tail stops fitting the 266-byte layout
// when the last backslash lies at 244, the game suffix when the last dot lies
// at 253. Names must still come out right, for every position up to the
// longest path the platform reports.
TEST(PresenceNames, LongPathsAroundTheBufferLimits) {
  for (std::size_t slashAt : {243u, 244u, 250u, 258u}) {
    std::string path = "C:\\" + std::string(slashAt - 3, 'd') + "\\Q8.exe";
    path.resize(std::min<std::size_t>(path.size(), 259));
    EXPECT_EQ(Built(BuildCompanionPresenceName, path), "$$s$$vek launcher.exe")
        << "backslash at " << slashAt;
  }
  for (std::size_t dotAt : {252u, 253u, 258u}) {
    std::string path = "C:\\Games\\" + std::string(dotAt - 9, 'N') + ".exe";
    path.resize(std::min<std::size_t>(path.size(), 259));
    ASSERT_EQ(path.rfind('.'), dotAt);
    EXPECT_EQ(Built(BuildGamePresenceName, path), oracle::ExpectedGameName(path))
        << "dot at " << dotAt;
  }
}

TEST(PresenceNames, AnUnterminatedFullPathStillGetsItsNames) {
  // Older systems fill all 260 bytes and leave no terminator; the one byte
  // after them in the buffer stays zero.
  for (const std::string last : {"\\", "."}) {
    const std::string path = "C:\\G\\" + std::string(254, 'N') + last + "exe";
    const std::string reported = oracle::ReportedModulePath(path, true);
    ASSERT_EQ(reported.size(), 260u);
    EXPECT_EQ(Built(BuildGamePresenceName, path, true), oracle::ExpectedGameName(reported));
    EXPECT_EQ(Built(BuildCompanionPresenceName, path, true),
              oracle::ExpectedCompanionName(reported));
  }
}

TEST(PresenceNames, EveryPathLengthMatchesTheRule) {
  // Paths of every length the platform can report, with separators and dots
  // in varying places, against the plain-string rule.
  for (std::size_t length = 1; length <= 300; ++length) {
    std::string path;
    for (std::size_t i = 0; i < length; ++i) {
      const std::size_t r = (i * 7 + length) % 23;
      path += r == 0 ? '\\' : r == 5 ? '.' : r == 11 ? '/' : static_cast<char>('A' + r);
    }
    const std::string reported = path.substr(0, std::min<std::size_t>(length, 259));
    SCOPED_TRACE(length);
    EXPECT_EQ(Built(BuildGamePresenceName, path), oracle::ExpectedGameName(reported));
    EXPECT_EQ(Built(BuildCompanionPresenceName, path), oracle::ExpectedCompanionName(reported));
    // Tools name a launcher at a path they are given by the same rule.
    char name[kNameBufferSize];
    EXPECT_EQ(BuildGamePresenceNameFor(path.c_str(), name) ? name : "",
              oracle::ExpectedGameName(reported));
    EXPECT_EQ(BuildCompanionPresenceNameFor(path.c_str(), name) ? name : "",
              oracle::ExpectedCompanionName(reported));
  }
  // The only dot on the last byte a launcher's path call reports, and one past it.
  for (const std::size_t dot : {258, 259}) {
    const std::string path = "C:\\G\\" + std::string(dot - 5, 'x') + ".exe";
    char name[kNameBufferSize];
    EXPECT_EQ(BuildGamePresenceNameFor(path.c_str(), name) ? name : "",
              Built(BuildGamePresenceName, path))
        << dot;
  }
}

TEST(PresenceHeader, TheGameBesideTheLauncherAnnouncesWhatItProbes) {
  EXPECT_EQ(Announced("C:\\Games\\Q8\\Q8Main.EXE"), "$$s$$q8main.exe");
  // A leading backslash is never taken as a separator, by either side.
  for (const std::string dir :
       {"D:\\GAMES\\", "C:\\My.Games\\", "C:\\G\\\xC4\xE9\\", "C:/G/", "\\"}) {
    SCOPED_TRACE(dir);
    const std::string held = Announced(dir + "Q8Main.EXE");
    EXPECT_EQ(held, Built(BuildGamePresenceName, dir + "Q8.exe"));
    EXPECT_TRUE(ProbeFor<IsGameRunning>(dir + "Q8.exe", held).answer);
  }
  // A renamed game is no longer the one the launcher waits for.
  EXPECT_EQ(Announced("C:\\Games\\Q8\\Game.exe"), "$$s$$game.exe");
}

TEST(PresenceHeader, AnAnnouncementHoldsItsNameUntilReleasedOrDestroyedAndNoneWithoutAPath) {
  for (bool released : {true, false}) {
    fake::Reset();
    fake::SetModulePath("C:\\Games\\Q8\\Q8Main.EXE");
    fake_windows::created.clear();
    {
      PresenceAnnouncement presence;
      EXPECT_TRUE(presence.Holding());
      EXPECT_STREQ(presence.Name(), "$$s$$q8main.exe");
      EXPECT_EQ(fake_windows::created, std::vector<std::string>{"$$s$$q8main.exe"});
      EXPECT_EQ(fake_windows::open, 1);
      EXPECT_EQ(fake::Calls(fake::Op::kModulePath), 1)
          << "the name and the semaphore from one path";
      if (released) {
        presence.Release();
        EXPECT_FALSE(presence.Holding());
        EXPECT_EQ(fake_windows::open, 0);
      }
    }
    EXPECT_EQ(fake_windows::open, 0);
  }
  fake::Reset();
  fake::FailModulePath();
  fake_windows::created.clear();
  PresenceAnnouncement presence;
  EXPECT_FALSE(presence.Holding());
  EXPECT_STREQ(presence.Name(), "");
  EXPECT_TRUE(fake_windows::created.empty());
}

TEST(PresenceHeader, EveryPathLengthMatchesTheRuleAndAFailedPathCreatesNothing) {
  for (std::size_t length = 1; length <= 300; ++length) {
    std::string path;
    for (std::size_t i = 0; i < length; ++i) {
      const std::size_t r = (i * 5 + length) % 19;
      path += r == 0 ? '\\' : r == 7 ? ':' : r == 11 ? '/' : static_cast<char>('A' + r);
    }
    SCOPED_TRACE(length);
    // And with its first byte zero: the path ends there, whatever follows.
    for (const std::string& given : {path, '\0' + path.substr(1)}) {
      for (bool unterminated : {false, true}) {
        const std::string reported = oracle::ReportedModulePath(given, unterminated);
        EXPECT_EQ(Announced(given, unterminated), "$$s$$" + oracle::FileNameLower(reported));
      }
    }
  }
  fake::Reset();
  fake::FailModulePath();
  fake_windows::created.clear();
  EXPECT_EQ(HeaderPresenceBegin(), nullptr);
  EXPECT_TRUE(fake_windows::created.empty());
}
