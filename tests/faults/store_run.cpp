#include "faults/store_run.h"

#include <zlib.h>

#include "backup/backup.h"
#include "backup/backup_history.h"
#include "record/job_context.h"
#include "record/job_state.h"
#include "job/jobs.h"
#include "job/store_job.h"
#include "log/log_to_file.h"
#include "package/crc_list_writer.h"
#include "job/stored_packages.h"
#include "platform/text.h"
#include "support/card_fixture.h"
#include "support/package_builder.h"
#include "support/scripted_prompt.h"

namespace cw::test {
namespace {

constexpr const char* kPackage = "C:\\WORK\\NEW.FWP";
constexpr const char* kLog = "C:\\WORK\\fwp_downloader.log";
constexpr const char* kData = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE";

// zlib's own CRC-32, not the program's, so the check does not trust what it checks.
uint32_t IndependentCrc(const std::string& bytes) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// The package's own CRC field holds the CRC of the whole file with that field taken as zero.
bool ChecksItself(const std::string& package) {
  if (package.size() < 4) return false;
  std::string zeroed = package;
  uint32_t stored = 0;
  for (int i = 0; i < 4; ++i) {
    stored |= uint32_t(uint8_t(package[i])) << (8 * i);
    zeroed[i] = 0;
  }
  return stored == 0 || stored == IndependentCrc(zeroed);
}

// The card of every run, and the other card whose backups the PC already holds.
constexpr uint32_t kThisCard = 0xAAAA0001;
constexpr uint32_t kOtherCard = 0xBBBB0002;
constexpr const char* kOtherCardsMark = "card B: ";

// A store job ("Store and Verify", or with `restoreOnly` the "Restore Only" setting) on E:,
// keeping `kept` earlier backups: its request.
StoreRequest StartJob(JobContext& job, CLogToFile& log, ScriptedPrompt& prompt, bool restoreOnly,
                      int32_t kept = 2) {
  job.log = &log;
  job.prompt = &prompt;
  PrepareStoreJob(job);
  return {.cardPath = "E:",
          .packagePath = kPackage,
          .dataPath = kData,
          .target = TargetChoice::kNone,
          .backup = {.skip = restoreOnly,
                     .restoreOnly = restoreOnly,
                     .kept = kept,
                     .restoreName = "",
                     .otherCard = OtherCardBackup::kAsk}};
}

// Runs the started job on `platform`; the job's result.
JobResult RunJob(Platform& platform, JobContext& job, const StoreRequest& request) {
  return DownloadAndVerify(platform, &job, request);
}

Tree Below(const FakePlatform& fake, const std::string& folder) {
  Tree tree;
  for (const auto& [path, content] : fake.Files(folder)) tree[ToUpperAscii(path)] = content;
  return tree;
}

std::string BackupRootOf(const StoreScenario& scenario) {
  return std::string(kData) +
         (scenario.target == 1 ? "\\QUORVANE_ENGINE_CF_BACKUP" : "\\QUORVANE_PANEL_CF_BACKUP");
}

// Where a package file lands on the card of `target`.
std::string CardPathOf(const PackageFileSpec& file, int target) {
  if (file.kind == kKindCommonRaw && target == 1) {
    const size_t cut = file.cardPath.find_last_of('\\');
    return cut == std::string::npos ? file.cardPath : file.cardPath.substr(cut + 1);
  }
  return file.cardPath;
}

bool Has(const std::string& text, std::initializer_list<const char*> parts) {
  for (const char* part : parts)
    if (Contains(text, part)) return true;
  return false;
}

// Another card's backups of the scenario's kind, made by the program itself from a card
// whose own files say "card B": the latest in the kind's folder and two earlier ones in its
// history, the oldest of them beyond what a run keeps.
const Tree& OtherCardsBackups(const StoreScenario& scenario) {
  static std::map<std::string, Tree> made;
  auto [it, fresh] = made.try_emplace(scenario.name);
  if (!fresh) return it->second;
  FakePlatform fake;
  fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20);
  fake.SetSerialNumber('E', kOtherCard);
  fake.AddFolder("C:\\WORK");
  fake.AddFolder(kData);
  for (const auto& [path, content] : scenario.oldCard) {
    const bool reference = Contains(ToUpperAscii(path), ".FWP") || Contains(path, "CRCs");
    fake.WriteFile("E:\\" + path, reference ? content : kOtherCardsMark + content);
  }
  fake.WriteFile(kPackage, BuildPackage(scenario.package));
  for (int day = 1; day <= 3; ++day) {
    fake.SetLocalTime({2026, 1, day, 12, 0, 0, 0});
    CLogToFile log(fake);
    ScriptedPrompt prompt;
    JobContext job;
    RunJob(fake, job, StartJob(job, log, prompt, false, 5));
  }
  for (auto& [path, content] : Below(fake, kData))
    if (Contains(path, "_CF_BACKUP")) it->second[path] = content;
  return it->second;
}

}  // namespace

StoreScenario EngineScenario() {
  StoreScenario s{.name = "Engine", .target = 1};
  s.oldCard = {{"UPGRADE.FWP", BuildPackage(test::EngineRelease("old main program"))},
               {"APP\\MAIN.BIN", "old main program"},
               {"APP\\LIB\\UTIL.DLL", "old utilities"},
               {"NOTES.TXT", "the technician's notes"},
               {"FWPVers.bin", std::string(24, '\1')},
               {"FWP_INFO_FILE.TXT", "an earlier upgrade\r\n"}};
  s.readOnly = {"APP\\MAIN.BIN"};
  s.package.releaseNumber = 5;
  s.package.files = {MakeFile(kKindEngine2, "APP\\MAIN.BIN", "new main program"),
                     MakeFile(kKindEngine13, "APP\\LIB\\UTIL.DLL", "new utilities"),
                     MakeFile(kKindCommon, "APP\\CONF\\SITE.CFG", "site configuration"),
                     MakeFile(kKindPanel3940, "NK.BIN", "a panel's file, not for an engine")};
  return s;
}

StoreScenario Engine3950Scenario() {
  StoreScenario s = EngineScenario();
  s.name = "Engine with 3950 support";
  s.package.panel3950Support = true;
  s.package.files.push_back(MakeFile(kKindPanel3950Raw, "PANEL\\P3950.BIN", "3950 file"));
  return s;
}

StoreScenario PanelScenario() {
  StoreScenario s{.name = "Panel 3940", .target = 2};
  s.oldCard = {{"NK.BIN", "old os"},
               {"BREVANT\\APP.EXE", "old app"},
               {"BREVANT\\OLD.DLL", "a library the new release drops"},
               {"BREVANT\\BPANEL.INI", "panel settings"},
               {"Quorvane File CRCs.dat",
                BuildCRCList({{"NK.BIN", IndependentCrc("old os")},
                              {"BREVANT\\APP.EXE", IndependentCrc("old app")},
                              {"BREVANT\\OLD.DLL",
                               IndependentCrc("a library the new release drops")}})}};
  s.readOnly = {"BREVANT\\APP.EXE"};
  s.package.releaseNumber = 0x01020304;
  s.package.winceIncluded = 1;
  s.package.files = {MakeFile(kKindPanel3940, "NK.BIN", "new os"),
                     MakeFile(kKindPanel3940, "BREVANT\\APP.EXE", "new app"),
                     MakeFile(kKindPanel3940, "BREVANT\\DATA\\HELP.TXT", "help"),
                     MakeFile(kKindEngine2, "ENGINE.BIN", "an engine's file, not for a panel")};
  s.package.files.push_back(
      MakeFile(kKindPanel3940Raw, "Quorvane File CRCs.dat",
               BuildCRCList({{"NK.BIN", IndependentCrc("new os")},
                             {"BREVANT\\APP.EXE", IndependentCrc("new app")},
                             {"BREVANT\\DATA\\HELP.TXT", IndependentCrc("help")},
                             {"ENGINE.BIN", 0}})));
  return s;
}

StoreOutcome RunStore(const StoreScenario& scenario,
                      const std::function<void(FaultPlatform&)>& plan) {
  FakePlatform fake;
  fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20);
  fake.AddFolder("C:\\WORK");
  fake.AddFolder(kData);
  for (const auto& [path, content] : scenario.oldCard) fake.WriteFile("E:\\" + path, content);
  for (const std::string& path : scenario.readOnly)
    fake.SetFileAttributes("E:\\" + path, kAttrReadOnly | kAttrArchive);
  fake.WriteFile(kPackage, BuildPackage(scenario.package));
  fake.SetSerialNumber('E', kThisCard);
  for (const auto& [path, content] : OtherCardsBackups(scenario)) fake.WriteFile(path, content);

  FaultPlatform faults(fake);
  faults.Exempt(kLog);  // the log's own failures are the log's business
  if (plan) plan(faults);
  CLogToFile log(faults);  // the log's first look goes through it too
  log.SetLogFile(kLog);
  log.SetEnabled(true);
  ScriptedPrompt prompt;  // answers OK to the question, closes the model chooser
  JobContext job;
  const StoreRequest request = StartJob(job, log, prompt, false);

  StoreOutcome out;
  out.result = RunJob(faults, job, request);

  out.status = job.statusText.Get();
  out.transcript = job.diagnosticsText.Get();
  out.messages = prompt.messages();
  out.card = Below(fake, "E:");
  out.backup = Below(fake, BackupRootOf(scenario));
  out.fired = faults.Fired();
  out.firedAt = faults.FiredAt();
  for (Fault fault : kAllFaults) out.counts[static_cast<int>(fault)] = faults.Count(fault);
  out.cardOperations = faults.CardOperations();
  if (out.result.Passed() && out.status == "Done!") {
    out.ending = Ending::kSucceeded;
  } else if (out.status == "Restore OK!!") {
    out.ending = Ending::kRestored;
  }

  // "Restore Only" on the same PC and card: a later job, the fault gone, the card back in. Asked
  // whether another card's backup should go onto it, the user says no.
  ScriptedPrompt restorePrompt;
  restorePrompt.SetDefaultAnswer(MessageResult::Cancel);
  JobContext restore;
  RunJob(fake, restore, StartJob(restore, log, restorePrompt, true));
  out.restoreOnlyStatus = restore.statusText.Get();
  out.restoreOnlyTranscript = restore.diagnosticsText.Get();
  out.restoreOnlyVerified = restore.restoreVerifyState == kPhaseDone;
  out.cardAfterRestoreOnly = Below(fake, "E:");
  for (const BackupEntry& entry : ListBackups(fake, BackupRootOf(scenario), true)) {
    out.otherCardBackups += !entry.incomplete && entry.problem.empty() &&
                            entry.manifestState == ManifestState::kRead &&
                            entry.manifest.cardSerial == kOtherCard;
  }
  return out;
}

std::vector<std::string> NewFiles(const StoreScenario& scenario, const StoreOutcome& out) {
  std::vector<std::string> added;
  for (const auto& [path, content] : out.card) {
    bool old = false;
    for (const auto& [oldPath, oldContent] : scenario.oldCard)
      old = old || path == ToUpperAscii("E:\\" + oldPath);
    if (!old) added.push_back(path);
  }
  return added;
}

std::vector<std::string> BrokenPromises(const StoreScenario& scenario,
                                        const StoreOutcome& out) {
  std::vector<std::string> broken;
  auto onCard = [&out](const std::string& cardPath) -> const std::string* {
    auto it = out.card.find(ToUpperAscii("E:\\" + cardPath));
    return it == out.card.end() ? nullptr : &it->second;
  };

  if (out.ending == Ending::kSucceeded) {
    for (const PackageFileSpec& file : scenario.package.files) {
      if (!KindBelongsOn(file.kind, scenario.target)) continue;
      const std::string path = CardPathOf(file, scenario.target);
      const std::string* content = onCard(path);
      if (!content || IndependentCrc(*content) != IndependentCrc(file.content))
        broken.push_back("reported Done! but " + path + (content ? " is damaged" : " is missing"));
    }
    if (scenario.target == 1) {
      for (const char* copy : {"UPGRADE.FWP", "FWP_3950.FWP"}) {
        if (!scenario.package.panel3950Support && std::string(copy) == "FWP_3950.FWP") continue;
        const std::string* content = onCard(copy);
        if (!content || !ChecksItself(*content))
          broken.push_back(std::string("reported Done! but the stored copy ") + copy +
                           " is missing or damaged");
      }
      const std::string* version = onCard("FWPVERS.BIN");
      if (!version || version->size() != 24)
        broken.push_back("reported Done! but FWPVers.bin is missing or damaged");
    } else {
      const std::string* release = onCard("BREVANT\\RELEASENUMBER");
      if (!release || *release != LittleEndian(static_cast<uint32_t>(scenario.package.releaseNumber)))
        broken.push_back("reported Done! but the release number file is missing or damaged");
    }
  } else if (out.ending == Ending::kRestored) {
    for (const auto& [path, content] : scenario.oldCard) {
      const std::string* now = onCard(path);
      if (!now || *now != content)
        broken.push_back("reported Restore OK!! but " + path +
                         (now ? " has other content" : " is missing"));
    }
  } else {
    if (out.result.Passed() || out.status == "Done!")
      broken.push_back(std::string("a failed job reported success (") +
                       OutcomeName(out.result.outcome) +
                       ", status \"" + out.status + "\")");
    // The transcript names the failure, or holds the message box that did. A check that
    // fails before the card changes may tell by its message box alone.
    bool told = Has(out.transcript, {"Failed", "failed", "not usable", "Not Possible"});
    for (const std::string& message : out.messages)
      told = told || Contains(out.transcript, message);
    bool unchanged = true;
    for (const auto& [path, content] : scenario.oldCard) {
      const std::string* now = onCard(path);
      unchanged = unchanged && now && *now == content;
    }
    unchanged = unchanged && out.card.size() == scenario.oldCard.size();
    told = told || (unchanged && !out.messages.empty());
    if (!told) broken.push_back("the failure is not in the transcript: \"" + out.transcript + "\"");
  }

  // Nothing of the other card ever lands on this one, and its backups stay whole: the two
  // newest of them are kept whatever this run did.
  for (const Tree* card : {&out.card, &out.cardAfterRestoreOnly})
    for (const auto& [path, content] : *card)
      if (Contains(content, kOtherCardsMark)) broken.push_back("another card's " + path + " landed");
  if (out.otherCardBackups < 2)
    broken.push_back("another card's complete backup was lost (" +
                     std::to_string(out.otherCardBackups) + " of its 2 newest are whole)");

  // Nothing lost: every old file is on the card as it was, or in the backup folder as it was.
  const std::string backupRoot = ToUpperAscii(BackupRootOf(scenario));
  for (const auto& [path, content] : scenario.oldCard) {
    const std::string* now = onCard(path);
    if (now && *now == content) continue;
    auto saved = out.backup.find(backupRoot + "\\" + ToUpperAscii(path));
    if (saved == out.backup.end() || saved->second != content) {
      broken.push_back("lost " + path + ": " + (now ? "changed" : "gone") +
                       " on the card and no copy in the backup");
    }
  }
  return broken;
}

std::vector<std::string> BrokenAfterRestoreOnly(const StoreScenario& scenario,
                                                const StoreOutcome& out) {
  std::vector<std::string> broken;
  std::vector<std::string> notBack;
  for (const auto& [path, content] : scenario.oldCard) {
    auto now = out.cardAfterRestoreOnly.find(ToUpperAscii("E:\\" + path));
    if (now == out.cardAfterRestoreOnly.end() || now->second != content) notBack.push_back(path);
  }
  const bool saidOk = Contains(out.restoreOnlyStatus, "Restore OK") ||
                      Contains(out.restoreOnlyTranscript, "Restore OK");
  if (saidOk && (!out.restoreOnlyVerified || !notBack.empty()))
    broken.push_back("Restore Only said OK, but the card is not the old one");
  const bool refusedUnchanged = !saidOk && out.cardAfterRestoreOnly == out.card;
  if (!notBack.empty() && !refusedUnchanged)
    broken.push_back("Restore Only changed the card and did not put back " + notBack.front());
  if (!saidOk && !Has(out.restoreOnlyTranscript, {"Not Possible", "Failed", "incomplete"}))
    broken.push_back("Restore Only did not say why: \"" + out.restoreOnlyTranscript + "\"");
  return broken;
}

}  // namespace cw::test
