#include <gtest/gtest.h>

#include "launcher/instance_guard/event_names.h"
#include "launcher/instance_guard/instance_guard.h"
#include "tests/scenario.h"

using GuardTest = Scenario;

TEST_F(GuardTest, FirstLauncherHoldsBothEventsUntilRelease) {
  InstanceGuard guard;
  EXPECT_TRUE(guard.IsFirst());
  EXPECT_EQ(fake::References(kInstanceEventName), 1);
  EXPECT_EQ(fake::References(kQuitEventName), 1);
  guard.Release();
  EXPECT_FALSE(fake::Exists(kInstanceEventName));
  EXPECT_FALSE(fake::Exists(kQuitEventName));
}

TEST_F(GuardTest, OutcomesOfCreatingTheInstanceEvent) {
  const struct {
    const char* what;
    void (*arrange)();
    bool first;
  } cases[] = {
      {"another launcher holds it", [] { fake::Hold(kInstanceEventName, fake::Type::kEvent); },
       false},
      {"creation fails", [] { fake::FailNextEventCreation(1450); }, false},
      {"a mutex has the name", [] { fake::Hold(kInstanceEventName, fake::Type::kMutex); }, false},
      {"only the quit event exists", [] { fake::Hold(kQuitEventName, fake::Type::kEvent); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake::Reset();
    c.arrange();
    {
      InstanceGuard guard;
      EXPECT_EQ(guard.IsFirst(), c.first);
      // Not first: the instance handle is closed at once; the quit event is
      // opened all the same.
      EXPECT_EQ(fake::OpenHandles(), c.first ? 2 : 1);
      guard.Release();
    }
    EXPECT_EQ(fake::OpenHandles(), 0);
  }
}

TEST_F(GuardTest, WithoutAQuitEventWaitingAnswersFalseAfterTheTimeout) {
  fake::Hold(kQuitEventName, fake::Type::kMutex);
  InstanceGuard guard;
  EXPECT_TRUE(guard.IsFirst());
  EXPECT_EQ(fake::OpenHandles(), 1);
  EXPECT_FALSE(guard.WaitForQuit(250));
  EXPECT_EQ(fake::Elapsed(), 250u) << "the time is slept out, so callers cannot spin";
  guard.Release();
}

TEST_F(GuardTest, AFailedWaitAnswersFalseAfterTheTimeout) {
  InstanceGuard guard;
  fake::FailCall(fake::Op::kWait, 1);
  EXPECT_FALSE(guard.WaitForQuit(250));
  EXPECT_EQ(fake::Elapsed(), 250u);
  guard.Release();
}

TEST_F(GuardTest, QuitAlreadySetAndHeldIsSeenAtOnce) {
  fake::Hold(kQuitEventName, fake::Type::kEvent);
  fake::Signal(kQuitEventName);
  InstanceGuard guard;
  EXPECT_TRUE(guard.IsFirst());
  EXPECT_TRUE(guard.WaitForQuit(250));
  EXPECT_EQ(fake::Elapsed(), 0u);
  EXPECT_TRUE(guard.WaitForQuit(250)) << "the launcher must never reset the quit event";
  guard.Release();
  EXPECT_EQ(fake::References(kQuitEventName), 1);
}

TEST_F(GuardTest, QuitSetAndReleasedBeforeStartIsForgotten) {
  fake::Hold(kQuitEventName, fake::Type::kEvent);
  fake::Signal(kQuitEventName);
  fake::Drop(kQuitEventName);
  InstanceGuard guard;
  EXPECT_FALSE(guard.WaitForQuit(250));
  EXPECT_EQ(fake::Elapsed(), 250u);
  guard.Release();
}

TEST_F(GuardTest, WaitForQuitReturnsWhenTheEventIsSetOrTheTimeoutEnds) {
  InstanceGuard guard;
  fake::At(100, [] { fake::Signal(kQuitEventName); });
  EXPECT_FALSE(guard.WaitForQuit(99));
  EXPECT_EQ(fake::Elapsed(), 99u);
  EXPECT_TRUE(guard.WaitForQuit(250));
  EXPECT_EQ(fake::Elapsed(), 100u);
  guard.Release();
}

TEST(EventNames, MeetTheNamingRules) {
  for (const char* name : {kInstanceEventName, kQuitEventName}) {
    bool control = false, printable = false, high = false;
    for (int i = 0; i < 16; ++i) {
      const unsigned char c = static_cast<unsigned char>(name[i]);
      EXPECT_NE(c, 0);
      EXPECT_NE(c, '\\');
      control |= c < 0x20 || c == 0x7F;
      printable |= c >= 0x20 && c < 0x7F;
      high |= c >= 0x80;
    }
    EXPECT_EQ(name[16], '\0');
    EXPECT_TRUE(control && printable && high);
  }
  const unsigned char a = kInstanceEventName[0], b = kQuitEventName[0];
  EXPECT_NE(a, b);
  EXPECT_TRUE(a > 0x20 && a < 0x7F && b > 0x20 && b < 0x7F);
}
