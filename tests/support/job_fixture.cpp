#include "support/job_fixture.h"

#include <algorithm>

#include "job/load_info_array.h"
#include "platform/text.h"
#include "support/log_lines.h"

namespace cw::test {

JobScope::JobScope() {
  fake.AddDrive('E', DriveType::Removable, "FAT16", 64ull << 20);
  fake.AddFolder("C:\\WORK");
  log.SetLogFile(kLogPath);
  log.SetEnabled(true);
  job.log = &log;
  job.prompt = &prompt;
  job.jobRunning = 1;
  state.globalFlashPath = kCard;
  state.globalFWPDataFilePath = kPackagePath;
  fake.ClearCalls();  // the log's own probe is not the test's business
}

bool JobScope::LoadToStore(LoadedPackage& package) {
  return LoadInfoArray(state, package, Reference::kStoring, state.globalFWPDataFilePath);
}

std::string JobScope::PutPackage(const PackageSpec& spec, const std::string& path) {
  const std::string bytes = BuildPackage(spec);
  fake.WriteFile(path, bytes);
  return bytes;
}

void JobScope::ChooseForJob(const std::string& package) {
  fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20);
  fake.AddFolder("C:\\HOME\\TECH\\DOCUMENTS");
  request.cardPath = kCard;
  request.packagePath = package;
}

VerifyRequest VerifyRequestOf(const StoreRequest& request) {
  return {.cardPath = request.cardPath,
          .packagePath = request.packagePath,
          .dataPath = request.dataPath,
          .target = request.target};
}

std::vector<std::string> JobScope::LogLines() const {
  return LogMessages(fake.ReadFile(kLogPath));
}

bool JobScope::Logged(const std::string& message) const {
  const std::vector<std::string> lines = LogLines();
  return std::find(lines.begin(), lines.end(), message) != lines.end();
}

bool JobScope::FileClosed(const std::string& path) const {
  bool open = false;
  for (const FakeCall& call : fake.Calls()) {
    if (ToUpperAscii(call.path) != ToUpperAscii(path)) continue;
    if (call.op == "Close") open = false;
    // A failed open is never used, so only a handle that was read or sized counts as open.
    if (call.op == "Read" || call.op == "GetSize" || call.op == "Seek") open = true;
  }
  return !open;
}

}  // namespace cw::test
