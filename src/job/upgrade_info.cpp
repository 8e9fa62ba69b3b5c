// The upgrade record: who programmed the card, when, with which package, for which device.

#include "job/program_version.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "job/jobs.h"
#include "platform/platform.h"

namespace cw {
namespace {

// The user name is read into a buffer of 300 characters, terminator included.
constexpr size_t kUserNameMax = 299;

const char* TargetDeviceLine(int32_t target) {
  switch (target) {
    case kTargetEngine: return "Target Device: QuorVane Engine\r\n";
    case kTargetPanel3940: return "Target Device: QuorVane 3940 Panel\r\n";
    case kTargetPanel3950: return "Target Device: QuorVane 3950 Panel\r\n";
    default: return "Target Device: Other\r\n";
  }
}

}  // namespace

void GetUpgradeInfo(JobState& state, int32_t cardTarget, const PackageVersions& versions,
                    const std::string& packagePath) {
  state.Log("GetUpgradeInfo");
  JobContext& job = state.job;

  std::string user = state.platform.GetUserName();
  if (user.size() > kUserNameMax) user.resize(kUserNameMax);
  const LocalTime now = state.platform.GetLocalTime();

  std::string record = "****** Upgrade Info Start ******\r\n";
  record += "User Name: " + user + "\r\n";
  record += Format("Date: %02d/%02d/%02d\r\n", now.month, now.day, now.year % 100);
  record += Format("Time: %02d:%02d:%02d\r\n", now.hour, now.minute, now.second);
  record += Format("FWP File Format Version: %.3f\r\n", versions.fwpVersion / 1000.0);
  record += Format("FWP File Generator Version: %d.%03d\r\n",
                   versions.versionBlock.generatorVersion, versions.versionBlock.generatorRevision);
  record += Format("FWP File Downloader Version: %.3f\r\n", kProgramVersion / 1000.0);
  record += Format("FWP File Name: %s\r\n", packagePath.c_str());
  record += TargetDeviceLine(cardTarget);
  record += "****** Upgrade Info End ******\r\n\r\n\r\n";
  state.upgradeInfoText = record;

  // The log gets the whole transcript as it stands now, as one entry.
  state.AppendDiagnostics(state.upgradeInfoText);
  state.Log(job.diagnosticsText.Get());
}

}  // namespace cw
