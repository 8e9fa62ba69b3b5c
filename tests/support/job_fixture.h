#pragma once
// A running job on the in-memory platform, the one every job test builds on: the fake platform
// with the folder C:\WORK and a removable FAT16 card E: of 64 MiB, a scripted prompt that
// records every message, a diagnostic log at kLogPath whose lines a test reads back, the data
// path kDataPath (its folder not created), jobRunning set as a started job has it,
// globalFlashPath "E:" and globalFWPDataFilePath kPackagePath. The platform's call log starts
// empty, so a test counts only the calls it caused. A plain test or a table case holds a
// JobScope; a gtest suite whose tests reach the job's parts directly derives from JobFixture.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/log_to_file.h"
#include "package/loaded_package.h"
#include "package/package_writer.h"
#include "record/job_context.h"
#include "record/job_state.h"
#include "support/fake_platform.h"
#include "support/scripted_prompt.h"

namespace cw::test {

inline constexpr const char* kCard = "E:";
inline constexpr const char* kPackagePath = "C:\\WORK\\PACKAGE.FWP";
inline constexpr const char* kLogPath = "C:\\WORK\\fwp_downloader.log";
inline constexpr const char* kDataPath = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE";

class JobScope {
 public:
  JobScope();
  JobScope(const JobScope&) = delete;
  JobScope& operator=(const JobScope&) = delete;

  // Writes BuildPackage(spec) to `path` on the fake file system; returns the bytes.
  std::string PutPackage(const PackageSpec& spec, const std::string& path = kPackagePath);
  // The messages of the log, without their timestamps, in order.
  std::vector<std::string> LogLines() const;
  // The log holds a line with exactly this message.
  bool Logged(const std::string& message) const;
  // The file at `path` is not left open: every open of it that was then read was closed.
  bool FileClosed(const std::string& path = kPackagePath) const;
  // As a front end makes a job it is about to start on card E: (a "FAT" card) with the
  // package at `package` chosen; the documents folder exists, so the data folder can be made.
  void ChooseForJob(const std::string& package);
  // Loads the package at globalFWPDataFilePath as a store loads it.
  bool LoadToStore(LoadedPackage& package);

  FakePlatform fake;
  ScriptedPrompt prompt;
  CLogToFile log{fake};
  JobContext job;
  JobState state{fake, job};
  // The request a front end makes: card E:, the package at kPackagePath, the data folder
  // kDataPath; a test changes what its case asks.
  StoreRequest request{.cardPath = kCard,
                       .packagePath = kPackagePath,
                       .dataPath = kDataPath,
                       .target = TargetChoice::kNone,
                       .backup = {}};
};

// The "Verify Only" request of the same card, package and target.
VerifyRequest VerifyRequestOf(const StoreRequest& request);

class JobFixture : public ::testing::Test, public JobScope {};

}  // namespace cw::test
