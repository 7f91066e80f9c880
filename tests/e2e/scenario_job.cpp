// Each scenario runs with a job of its own: every process it started, and
// every process those started, ends with the scenario, also when a failed
// ASSERT ended it half-way, so that the next scenario in the same prefix
// starts clean.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>

#include "tests/e2e/harness.h"

namespace {

class ScenarioJob : public testing::EmptyTestEventListener {
  // Under Wine the first program that needs the desktop starts the process
  // behind it: that must be this one, outside every job, not a launcher
  // showing its message box, whose job ends the desktop with its scenario.
  void OnTestProgramStart(const testing::UnitTest&) override { GetDesktopWindow(); }
  void OnTestStart(const testing::TestInfo&) override {
    job_.reset(new Job);
    SetScenarioJob(job_.get());
  }
  void OnTestEnd(const testing::TestInfo& test) override {
    SetScenarioJob(nullptr);
    if (const DWORD left = job_->EndAll()) {
      std::printf("%s.%s left %lu processes running: ended\n", test.test_suite_name(), test.name(),
                  static_cast<unsigned long>(left));
    }
    job_.reset();
  }
  std::unique_ptr<Job> job_;
};

const bool kInstalled =
    (testing::UnitTest::GetInstance()->listeners().Append(new ScenarioJob), true);

}  // namespace
