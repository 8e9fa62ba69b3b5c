#pragma once
// The manifest of a complete backup: which card it was taken from, when, by which program, and
// each file's card path, size and CRC-32 as they were read from the card while copying. It is
// the proof a restore checks the backup against before it touches the card, and the card
// against afterwards. It lies beside the backup folder ("<folder>.manifest"), so no listing of
// the folder picks it up and it is never restored onto a card.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "card/card_identity.h"
#include "platform/platform.h"

namespace cw {

struct BackupManifestFile {
  std::string path;  // below the card's root, upper-cased: "BREVANT\APP.EXE"
  uint64_t size = 0;
  uint32_t crc = 0;
};

struct BackupManifest {
  int32_t targetType = 0;   // the card's kind (TargetType)
  uint32_t cardSerial = 0;  // the volume's serial number; 0 when the platform cannot tell it
  std::string cardLabel;
  uint64_t cardBytes = 0;   // the card's capacity; 0 in manifests written before it was kept
  std::string date;  // "2026-12-08 04:45:12", the PC's local time when the backup completed
  std::string programVersion;
  std::string packageVersions;  // what the card said of its package; empty when unknown
  std::vector<BackupManifestFile> files;
  uint64_t TotalBytes() const;
};

std::string BackupManifestName(const std::string& backupFolder);
// "Engine", "Panel 3940", "Panel 3950", "Unknown".
const char* KindText(int32_t targetType);

std::string ComposeManifest(const BackupManifest& manifest);
// nullopt when the text is not a whole manifest (cut short, a line out of form).
std::optional<BackupManifest> ParseManifest(const std::string& text);

// Writes the manifest beside `backupFolder` and makes it reach the disk. False, with the last
// error set and no manifest left behind, when it could not.
bool WriteManifest(Platform& platform, const std::string& backupFolder,
                   const BackupManifest& manifest);

enum class ManifestState { kMissing, kDamaged, kRead };
// Reads the manifest beside `backupFolder`: kMissing when there is none (a backup made before
// manifests existed), kDamaged when it cannot be read or parsed.
ManifestState ReadManifest(Platform& platform, const std::string& backupFolder,
                           BackupManifest* manifest);

// A file of the backup checked against its manifest entry: the name of what is wrong, empty
// when the copy is whole ("missing", "size differs", "CRC differs").
std::string CheckBackupCopy(Platform& platform, const std::string& backupFolder,
                            const BackupManifestFile& file);

}  // namespace cw
