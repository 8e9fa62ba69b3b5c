#pragma once
// A running job on the in-memory platform: its JobContext and JobState, a scripted prompt that
// records every message, and a diagnostic log whose lines a test can read back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record/job_context.h"
#include "record/job_state.h"
#include "log/log_to_file.h"
#include "support/fake_platform.h"
#include "support/log_lines.h"
#include "support/scripted_prompt.h"

namespace cw {

class JobFixture : public ::testing::Test {
 protected:
  static constexpr const char* kLogPath = "C:\\WORK\\fwp_downloader.log";
  static constexpr const char* kDataPath = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE";

  JobFixture() {
    scope.fake.AddFolder("C:\\WORK");
    log.SetLogFile(kLogPath);
    log.SetEnabled(true);
    job.log = &log;
    job.prompt = &prompt;
    job.dataPath = kDataPath;
    job.jobRunning = 1;
    state.globalFlashPath = "E:";
    fake.ClearCalls();  // the log's own probe is not the test's business
  }

  // The messages of the log lines written so far, without their timestamps.
  std::vector<std::string> LogLines() const {
    return LogMessages(scope.fake.ReadFile(kLogPath));
  }
  bool Logged(const std::string& message) const {
    for (const std::string& line : LogLines())
      if (line == message) return true;
    return false;
  }

  FakePlatformScope scope;
  FakePlatform& fake = scope.fake;
  CLogToFile log;
  ScriptedPrompt prompt;
  JobContext job;
  JobState state{job};
};

}  // namespace cw
