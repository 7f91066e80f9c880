// Each scenario runs with a job of its own: every process it started, and
// every process those started, ends with the scenario, also when a failed
// ASSERT ended it half-way, so that the next scenario in the same prefix
// starts clean. A scenario that leaves a process running fails, naming it: a
// launcher that never ends, a tool that hangs, or a program nobody expected
// would otherwise pass unseen.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "tests/e2e/harness.h"

namespace {

class ScenarioJob : public testing::EmptyTestEventListener {
  // Under Wine the first program that needs the desktop starts the process
  // behind it: that must be this one, outside every job, not a launcher
  // showing its message box, whose job ends the desktop with its scenario.
  // Named objects are per session: a second run of the end-to-end tests in
  // it (another shell's) would take this one's launchers and games for its
  // own, so a test program waits for the one before it to end.
  void OnTestProgramStart(const testing::UnitTest&) override {
    GetDesktopWindow();
    run_ = CreateMutexW(nullptr, FALSE, L"q8-e2e-run");
    if (WaitForSingleObject(run_, 0) == WAIT_TIMEOUT) {
      std::fprintf(stderr,
                   "another run of the end-to-end tests is going on in this session: "
                   "waiting for it to end\n");
      WaitForSingleObject(run_, INFINITE);
    }
  }
  void OnTestStart(const testing::TestInfo&) override {
    job_.reset(new Job);
    SetScenarioJob(job_.get());
  }
  // Runs before the result is printed (listeners hear of a test's end in the
  // reverse order), so a failure added here is the scenario's own.
  void OnTestEnd(const testing::TestInfo&) override {
    SetScenarioJob(nullptr);
    // What the scenario ended itself (a launcher its Process terminated, a
    // game told to stop) may take a moment to go, longer on a loaded machine.
    if (!job_->WaitUntilEmpty(kGoingMs)) {
      std::string names;
      for (const std::string& name : job_->Running()) names += "\n  " + name;
      job_->EndAll();
      ADD_FAILURE() << "the scenario left processes running " << kGoingMs
                    << " ms after its end (now ended):" << names;
    }
    job_.reset();
  }
  static constexpr DWORD kGoingMs = 5000;
  std::unique_ptr<Job> job_;
  HANDLE run_ = nullptr;  // held until the program ends
};

const bool kInstalled =
    (testing::UnitTest::GetInstance()->listeners().Append(new ScenarioJob), true);

}  // namespace
