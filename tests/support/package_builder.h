#pragma once
// Test-side conveniences on top of the package writer: a job on the in-memory platform with a
// card E:, a scripted prompt and a log, and small builders for packages and files.

#include <string>
#include <vector>

#include "record/job_context.h"
#include "record/job_state.h"
#include "log/log_to_file.h"
#include "package/package_writer.h"
#include "support/fake_platform.h"
#include "support/scripted_prompt.h"

namespace cw::test {

inline constexpr const char* kCard = "E:";
inline constexpr const char* kPackagePath = "C:\\WORK\\PACKAGE.FWP";
inline constexpr const char* kLogPath = "C:\\WORK\\fwp_downloader.log";

// A running job for the operations that take its JobState: the fake platform with a removable
// FAT16 card E:, a scripted prompt, a log at kLogPath, globalFlashPath "E:" and
// globalFWPDataFilePath kPackagePath.
class JobScope {
 public:
  JobScope();
  JobScope(const JobScope&) = delete;
  JobScope& operator=(const JobScope&) = delete;

  // Writes BuildPackage(spec) to `path` on the fake file system; returns the bytes.
  std::string PutPackage(const PackageSpec& spec, const std::string& path = kPackagePath);
  // The messages of the log, without their timestamps, in order.
  std::vector<std::string> LogLines() const;

  FakePlatformScope platform;
  FakePlatform& fake = platform.fake;
  ScriptedPrompt prompt;
  CLogToFile log;
  JobContext job;
  JobState state{job};
};

// A file of the given kind whose checkPath equals its cardPath.
PackageFileSpec MakeFile(int32_t kind, const std::string& cardPath,
                         const std::string& content = "content");

// A 3940 panel release: its OS image "NK.BIN", "BREVANT\APP.EXE" holding `app`,
// "BREVANT\HELP.TXT", and last its CRC list naming the three (a panel's list comes last and
// needs that many records for its reader to reach each entry), release number 0x01020304.
PackageSpec PanelRelease(const std::string& app = "new app");

// Two records are equal byte for byte.
bool SameRecord(const FILE_INFO_STRUCT& a, const FILE_INFO_STRUCT& b);

// The 4 little-endian bytes of a 32-bit value.
std::string LittleEndian(uint32_t value);

}  // namespace cw::test
