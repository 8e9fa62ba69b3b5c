#include "cli/json_report.h"

#include <cstdio>
#include <utility>

#include "card/card_identity.h"
#include "cli/command.h"
#include "session/front_end.h"
#include "record/job_io.h"
#include "platform/text.h"

namespace cw::cli {
namespace {

const char* PhaseResult(int32_t state) {
  switch (state) {
    case kPhaseRunning:
      return "running";
    case kPhaseFailed:
      return "failed";
    case kPhaseDone:
      return "done";
    default:
      return "not_run";
  }
}

Json PhasesJson(const JobContext& job) {
  const std::pair<const char*, const std::atomic<int32_t>*> phases[] = {
      {"prep", &job.prepState},       {"store", &job.storeState},
      {"restore", &job.restoreState}, {"verify_only", &job.verifyOnlyState},
      {"verify", &job.verifyState},   {"restore_verify", &job.restoreVerifyState},
  };
  Json list = Json::array();
  for (const auto& [name, state] : phases)
    list.push_back({{"name", name}, {"result", PhaseResult(*state)}});
  return list;
}

// How a stopped job left the card; null for a job that was not stopped.
Json StopJson(StopOutcome stop) {
  switch (stop) {
    case kStoppedCardUnchanged:
      return "card_unchanged";
    case kStoppedRestored:
      return "restored";
    case kStoppedRestoreFailed:
      return "restore_failed";
    case kStoppedNoBackup:
      return "no_backup";
    case kStoppedRestoreCut:
      return "restore_stopped";
    case kStoppedVerify:
      return "verify_stopped";
    case kNotStopped:
      break;
  }
  return nullptr;
}

Json FileChecksJson(const std::vector<FileCheck>& checks) {
  Json list = Json::array();
  for (const FileCheck& check : checks) {
    list.push_back({{"verification", check.afterRestore ? "restore_verify" : "verify"},
                    {"path", check.path},
                    {"check", check.packageCopy ? "package" : "crc"},
                    {"expected_crc", CrcJson(check.expected)},
                    {"actual_crc", CrcJson(check.actual)},
                    {"matched", check.matched}});
  }
  return list;
}

// The card as the job took it when it began: its letter always, the rest once it was taken.
Json CardJson(const std::string& letter, const CardIdentity& card) {
  Json json = {{"letter", letter}, {"serial", nullptr}, {"label", nullptr}, {"bytes", nullptr}};
  if (!card.present) return json;
  json["serial"] = card.serial != 0 ? Json(SerialText(card.serial)) : Json(nullptr);
  json["label"] = card.label;
  json["bytes"] = card.bytes;
  return json;
}

}  // namespace

Json CrcJson(std::optional<uint32_t> crc) {
  if (!crc) return nullptr;
  return Format("%08X", *crc);
}

std::string PlainMessage(const std::string& text) {
  std::string plain = ReplaceAll(text, "\r\n", "\n");
  while (!plain.empty() && (plain.back() == '\n' || plain.back() == '\r')) plain.pop_back();
  return plain;
}

Json ReportHead(const std::string& command) {
  Json report;
  report["command"] = command;
  report["version"] = kProgramVersionText;
  report["outcome"] = nullptr;
  report["exit_status"] = nullptr;
  report["messages"] = Json::array();
  return report;
}

void SetOutcome(Json& report, const std::string& outcome, int exitStatus,
                const std::vector<std::string>& messages) {
  report["outcome"] = outcome;
  report["exit_status"] = exitStatus;
  for (const std::string& message : messages) report["messages"].push_back(PlainMessage(message));
}

void PrintJson(const Json& report) {
  const std::string text = report.dump(2, ' ', false, Json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int ExitStatus(const JobResult& result) {
  switch (result.outcome) {
    case JobOutcome::kPassed:
      return kExitOk;
    case JobOutcome::kStopped:
      return kExitInterrupted;
    default:
      return kExitFailed;
  }
}

Json JobReport(const std::string& command, const JobContext& job, const std::string& cardPath,
               const JobResult& result, const std::vector<std::string>& messages,
               const std::optional<std::string>& package) {
  Json report = ReportHead(command);
  SetOutcome(report, OutcomeName(result.outcome), ExitStatus(result), messages);
  report["card"] = CardJson(cardPath, result.card);
  report["package"] = package ? Json(*package) : Json(nullptr);
  report["stop"] = StopJson(result.stop);
  report["phases"] = PhasesJson(job);
  report["files"] = FileChecksJson(result.checks);
  return report;
}

}  // namespace cw::cli
