#include "backup/backup.h"

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_set>

#include "backup/backup_folder.h"
#include "backup/backup_history.h"
#include "backup/backup_manifest.h"
#include "backup/cleaning.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "rules/bhelper.h"

namespace cw {

namespace {

// The transcript and log line of a step of the backup that failed on `path`.
bool BackupError(JobState& state, const char* what, const std::string& path) {
  const std::string error =
      Format("\r\n%s - %d - ", what, static_cast<int>(GetLastError())) +
      state.platform.DisplayPath(path) + "\r\n";
  state.AppendDiagnostics(error);
  state.Log(error);
  return false;
}

// The folder that holds the backup folder and its mark: the data folder.
std::string HolderOf(const std::string& folder) {
  const size_t slash = folder.rfind('\\');
  return slash == std::string::npos ? folder : folder.substr(0, slash);
}

// Reads the CRC-32 of a copy from the bytes as they pass, so the card is read once.
struct CrcOfCopy : CopyWatcher {
  RunningCRC crc;
  uint64_t bytes = 0;
  void Copied(const void* data, size_t size) override {
    crc.Add(data, size);
    bytes += size;
  }
};

// Room first: a backup that cannot fit is refused before anything changes.
bool RoomForBackup(JobState& state, const std::string& holder, uint64_t needed) {
  uint64_t freeBytes = 0;
  // A disk that cannot tell its free space is tried; the copies say if it is full.
  if (!state.platform.GetDiskSpace(holder, nullptr, &freeBytes) || freeBytes >= needed) return true;
  const std::string text = Format(
      "There is not enough room for the backup on this PC's disk: %llu bytes are needed, "
      "%llu are free.\r\nNothing was changed.\r\n",
      static_cast<unsigned long long>(needed), static_cast<unsigned long long>(freeBytes));
  state.Log(text);
  state.ShowAndRecord(text, MessageIcon::Warning);
  return false;
}

// What the card says of the package it holds, read from its copies in `folder` (the card is
// read once): the last upgrade record's package and generator lines, and a Panel card's
// release number. Empty when it says nothing.
std::string PackageVersionsIn(Platform& platform, const std::string& folder) {
  std::string versions;
  std::unique_ptr<File> record = platform.OpenFile(folder + "\\FWP_INFO_FILE.TXT", OpenMode::Read);
  uint64_t size = 0;
  if (record && record->GetSize(&size)) {
    // The record only grows: its last few kilobytes hold the last upgrade.
    const uint64_t tail = std::min<uint64_t>(size, 4096);
    std::string text(static_cast<size_t>(tail), '\0');
    uint32_t got = 0;
    if (record->Seek(static_cast<int64_t>(size - tail), SeekFrom::Begin) &&
        record->Read(text.data(), static_cast<uint32_t>(tail), &got)) {
      text.resize(got);
      for (const char* key : {"FWP File Name: ", "FWP File Generator Version: "}) {
        const size_t at = text.rfind(key);
        if (at == std::string::npos) continue;
        const size_t end = text.find_first_of("\r\n", at);
        if (!versions.empty()) versions += "; ";
        versions += text.substr(at, end == std::string::npos ? std::string::npos : end - at);
      }
    }
  }
  std::unique_ptr<File> release =
      platform.OpenFile(folder + "\\BREVANT\\RELEASENUMBER", OpenMode::Read);
  unsigned char bytes[4] = {};
  uint32_t got = 0;
  if (release && release->Read(bytes, 4, &got) && got == 4) {
    if (!versions.empty()) versions += "; ";
    versions += Format("Release Number: %u", uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 |
                                                 uint32_t(bytes[2]) << 16 |
                                                 uint32_t(bytes[3]) << 24);
  }
  return versions;
}

// What the manifest says of the card, before its files are listed in it: the card as the job
// knew it when it began.
BackupManifest ManifestOfCard(JobState& state, const CardIdentity& card) {
  BackupManifest manifest;
  manifest.targetType = state.targetType;
  manifest.programVersion = CARDWRIGHT_VERSION;
  manifest.cardSerial = card.serial;
  manifest.cardLabel = card.label;
  manifest.cardBytes = card.bytes;
  return manifest;
}

}  // namespace

bool BackupFiles(JobState& state, const CardFacts& card, const LoadedPackage& package, bool erase,
                 int backupsKept) {
  state.Log("BackupFiles");
  state.SetStatus("Backing up current files");
  state.AppendDiagnostics("Backing up current files");
  const std::string& folder = state.backupRoot;
  const std::string holder = HolderOf(folder);

  // Checked before the old backup moves, so that a refusal leaves everything as it was.
  if (state.IsPanel() && !card.osOnCard && !package.osInPackage) {
    state.ShowMessage(
        "WinCE OS was neither found on the compact flash nor in the FWP file.\r\n"
        "Please choose a FWP file that contains the WinCE OS.",
        MessageButtons::Ok, MessageIcon::Warning);
    return false;
  }
  const std::vector<uint64_t> sizes = SizesOfFiles(state.platform, state.cardFileList);
  if (!RoomForBackup(state, holder, TotalOf(sizes))) return false;

  // Until every card file is copied and on disk, the folder holds only part of the card; the
  // mark says so to every later restore, in this run or another.
  const bool wasIncomplete = BackupMarkedIncomplete(state.platform, folder);
  std::unordered_set<std::string> foundFolders;
  if (!MarkBackupIncomplete(state, folder, foundFolders))
    return BackupError(state, "Backup Mark Error", BackupMarkName(folder));
  if (!MoveBackupToHistory(state, folder, wasIncomplete)) {
    const uint32_t error = GetLastError();
    // The previous backup stayed where it was: as trusted as it was before.
    if (!wasIncomplete) ClearBackupMark(state.platform, folder);
    SetLastError(error);
    return BackupError(state, "Backup History Error", folder);
  }
  state.backupFileList.clear();
  foundFolders.clear();

  BackupManifest manifest = ManifestOfCard(state, card.identity);
  state.SetProgressRange(0, 100);
  state.StartPhaseAmounts(kProgressBackup, static_cast<int64_t>(state.cardFileList.size()),
                          TotalOf(sizes));
  int32_t copied = 0;
  for (const std::string& cardPath : state.cardFileList) {
    state.SetProgressPos(copied % 100);
    bool cleared = false;
    FixFileStatus(state.platform, state, cardPath, &cleared);
    if (cleared) state.attributesCleared.push_back(cardPath);
    std::string backupPath;
    std::string relative;
    if (!MapFolderPath(cardPath, state.globalFlashPath, folder, &backupPath) ||
        !MapFolderPath(cardPath, state.globalFlashPath + "\\", "", &relative)) {
      SetLastError(kErrPathNotFound);
      return BackupError(state, "Copy File Error", cardPath);
    }
    state.LogF("  trying to backup %s, beginning parsing.",
               state.platform.DisplayPath(backupPath).c_str());
    CreateMissingFolders(state, backupPath, foundFolders);

    state.Log("  attempting to copy source file to backup location.");
    CrcOfCopy crc;
    if (!state.platform.CopyFile(cardPath, backupPath, false, &crc))
      return BackupError(state, "Copy File Error", backupPath);
    state.Log("    did the copy.");
    state.backupFileList.push_back(backupPath);
    manifest.files.push_back({ToUpperAscii(relative), crc.bytes, crc.crc.Value()});
    state.CountFileDone(sizes[static_cast<size_t>(copied)]);
    ++copied;
    state.SetStatus(Format("%d Files backed up", copied));
    state.StopIfRequested();
  }

  // On the PC's disk before the card changes: a power cut or a crash of the PC must not take
  // the copies with it. The manifest follows the copies it describes, and the mark goes last.
  state.Log("  flushing the backup to disk.");
  if (!state.platform.FlushFiles(holder, state.backupFileList))
    return BackupError(state, "Backup Flush Error", folder);
  manifest.packageVersions = PackageVersionsIn(state.platform, folder);
  const LocalTime now = state.platform.GetLocalTime();
  manifest.date = Format("%04d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day, now.hour,
                         now.minute, now.second);
  if (!WriteManifest(state.platform, folder, manifest))
    return BackupError(state, "Backup Manifest Error", BackupManifestName(folder));
  if (!ClearBackupMark(state.platform, folder))
    return BackupError(state, "Backup Mark Error", BackupMarkName(folder));
  // The mark's removal too: a crash must not bring it back over a card already cleaned.
  if (!state.platform.FlushFiles(holder, {BackupManifestName(folder)}))
    return BackupError(state, "Backup Flush Error", holder);
  state.backupComplete = true;
  state.Log("  backup complete.");
  PruneHistory(state, folder, backupsKept);

  if (erase) {
    state.Log("  erasing the flash.");
    state.cardChanged = true;
    CleanCF(state, state.cardFileList, package.KeepsWholeCard(state.targetType));
  } else {
    state.Log("  elected not to erase the flash.");
  }
  return true;
}

void RecordUntouchedCard(JobState& state) {
  if (state.attributesCleared.empty()) {
    state.AppendDiagnostics("\r\nThe card's files are unchanged.\r\n");
    return;
  }
  std::string text =
      "\r\nThe card's files are unchanged; the backup cleared the read-only, hidden or system "
      "attribute of:\r\n";
  for (const std::string& path : state.attributesCleared) text += "  " + path + "\r\n";
  state.AppendDiagnostics(text);
}

}  // namespace cw
