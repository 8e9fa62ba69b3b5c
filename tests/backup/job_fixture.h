#pragma once
// A running job on the in-memory platform: currentJob set, a scripted prompt that records every
// message, and a diagnostic log whose lines a test can read back. Resets the process-wide job
// values each test touches.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job/job_context.h"
#include "job/job_values.h"
#include "log/log_to_file.h"
#include "support/fake_platform.h"
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
    currentJob = &job;
    globalFlashPath = "E:";
    targetType = kTargetUnknown;
    osOnCard = 0;
    osInPackage = 0;
    keptBytes = 0;
    cardTotalBytes = 0;
    cardFileList.clear();
    backupFileList.clear();
    backupRoot.clear();
    fake.ClearCalls();  // the log's own probe is not the test's business
  }
  ~JobFixture() override { currentJob = nullptr; }

  // The messages of the log lines written so far, without their timestamps.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    const std::string text = scope.fake.ReadFile(kLogPath);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = text.substr(start, end - start);
      const size_t dash = line.find(" - ");
      lines.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
    }
    return lines;
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
};

}  // namespace cw
