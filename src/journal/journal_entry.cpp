#include "journal/journal_entry.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <random>

#include "card/card_identity.h"
#include "platform/sha256.h"
#include "platform/text.h"
#include "record/job_context.h"
#include "rules/bhelper.h"

namespace cw {

namespace {

using Json = nlohmann::ordered_json;

const char* JobKindName(JobKind kind) {
  switch (kind) {
    case JobKind::kRestoreOnly: return "restore_only";
    case JobKind::kVerifyOnly: return "verify_only";
    case JobKind::kStore: break;
  }
  return "store";
}

Json Nullable(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

Json CardJson(const CardIdentity& card, const std::string& kind, int32_t panelModel) {
  if (!card.present && card.letter.empty()) return nullptr;
  return Json{{"letter", Nullable(card.letter)},
              {"serial", card.serial != 0 ? Json(SerialText(card.serial)) : Json(nullptr)},
              {"label", card.label},
              {"bytes", card.bytes},
              {"file_system", Nullable(card.fileSystem)},
              {"kind", Nullable(kind)},
              {"panel_model", panelModel != 0 ? Json(panelModel) : Json(nullptr)}};
}

std::string VersionText(int32_t version, int32_t revision, char letter) {
  std::string text = Format("%d.%03d", version, revision);
  if (letter >= 'A' && letter <= 'Z') text += letter;
  return text;
}

Json PackageJson(const std::optional<PackageFacts>& package) {
  if (!package) return nullptr;
  const VersionBlock& v = package->versions.versionBlock;
  return Json{{"file_name", package->fileName},
              {"bytes", package->bytes},
              {"crc32", Format("%08X", package->crc32)},
              {"sha256", Nullable(package->sha256)},
              {"format_version", VersionText(v.formatVersion, v.formatRevision, v.formatLetter)},
              {"generator_version",
               VersionText(v.generatorVersion, v.generatorRevision, v.generatorLetter)}};
}

// The phase a job ended in: the last one that began.
std::string StageOf(const JobContext& job) {
  const std::pair<const std::atomic<int32_t>*, const char*> phases[] = {
      {&job.restoreVerifyState, "restore_verification"},
      {&job.restoreState, "restore"},
      {&job.verifyState, "verification"},
      {&job.verifyOnlyState, "verification"},
      {&job.storeState, "store"},
  };
  for (const auto& [state, name] : phases)
    if (*state != kPhaseIdle) return name;
  return "checks";
}

}  // namespace

std::optional<PackageFacts> ReadPackageFacts(Platform& platform, const std::string& path,
                                             const PackageVersions& versions) {
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  if (!file) return std::nullopt;
  PackageFacts facts;
  facts.fileName = path.substr(path.find_last_of("\\/") + 1);
  facts.versions = versions;
  RunningCRC crc;
  Sha256 sha;
  std::vector<unsigned char> buffer(1 << 20);
  uint32_t got = 0;
  while (file->Read(buffer.data(), static_cast<uint32_t>(buffer.size()), &got) && got > 0) {
    crc.Add(buffer.data(), got);
    sha.Add(buffer.data(), got);
    facts.bytes += got;
  }
  facts.crc32 = crc.Value();
  facts.sha256 = HexOf(sha.Finish());
  return facts;
}

JournalEntry JournalEntryOf(const JournalFacts& facts) {
  JournalEntry entry;
  entry.programVersion = CARDWRIGHT_VERSION;
  entry.facts = facts;
  return entry;
}

JournalFacts JournalFactsOf(Platform& platform, const JobContext& job,
                            const JournalRequest& request, const JobResult& result,
                            const std::string& frontEnd, const std::string& runId,
                            const WallTime& started) {
  JournalFacts facts;
  facts.result = result;
  facts.card = result.card;
  facts.cardKind = request.target == TargetChoice::kPanel    ? "panel"
                   : request.target == TargetChoice::kEngine ? "engine"
                                                             : "";
  if (result.kind != JobKind::kRestoreOnly && !request.packagePath.empty())
    facts.package = ReadPackageFacts(platform, request.packagePath, request.versions);
  facts.frontEnd = frontEnd;
  facts.runId = runId;
  facts.started = started;
  facts.ended = platform.GetWallTime();
  facts.host = platform.GetHostName();
  facts.user = platform.GetUserName();
  facts.stage = StageOf(job);
  facts.filesWritten = job.phaseAmounts[kProgressExtraction].filesDone;
  facts.filesRestored = job.phaseAmounts[kProgressRestore].filesDone;
  for (const FileCheck& check : job.fileChecks.Get()) ++(check.matched ? facts.filesVerified
                                                                      : facts.filesFailed);
  facts.backupName = result.backup;
  return facts;
}

std::string NewRunId() {
  std::random_device device;
  std::mt19937_64 mix((uint64_t{device()} << 32) ^ device() ^
                      std::chrono::steady_clock::now().time_since_epoch().count());
  return Format("%016llx", static_cast<unsigned long long>(mix()));
}

std::string UtcText(int64_t unixMilliseconds) {
  using namespace std::chrono;
  const sys_time<milliseconds> at{milliseconds(unixMilliseconds)};
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> time{at - day};
  return Format("%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()),
                static_cast<int>(time.subseconds().count()));
}

std::string OffsetText(int32_t minutes) {
  const int32_t size = minutes < 0 ? -minutes : minutes;
  return Format("%c%02d:%02d", minutes < 0 ? '-' : '+', size / 60, size % 60);
}

std::string JournalLineOf(const JournalEntry& entry, const std::string& previous) {
  const JournalFacts& f = entry.facts;
  Json phases = Json::array();
  for (const PhaseDuration& p : f.phases) phases.push_back({{"phase", p.phase}, {"seconds", p.seconds}});
  Json backup = nullptr;
  if (!f.backupName.empty())
    backup = {{"name", f.backupName},
              {"action", f.result.kind == JobKind::kRestoreOnly || f.result.restore != Verdict::kNone
                             ? "restored"
                             : "taken"}};
  const Json line = {
      {"schema", entry.schema},
      {"previous_sha256", Nullable(previous)},
      {"run_id", f.runId},
      {"started", UtcText(f.started.unixMilliseconds)},
      {"ended", UtcText(f.ended.unixMilliseconds)},
      {"utc_offset", OffsetText(f.started.utcOffsetMinutes)},
      {"program_version", entry.programVersion},
      {"host", f.host},
      {"user", f.user},
      {"front_end", f.frontEnd},
      {"job", JobKindName(f.result.kind)},
      {"card", CardJson(f.card, f.cardKind, f.panelModel)},
      {"package", PackageJson(f.package)},
      {"outcome", OutcomeName(f.result.outcome)},
      {"stage", f.stage},
      {"files", {{"written", f.filesWritten},
                 {"verified", f.filesVerified},
                 {"failed", f.filesFailed},
                 {"restored", f.filesRestored}}},
      {"backup", backup},
      {"phases", phases},
  };
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace cw
