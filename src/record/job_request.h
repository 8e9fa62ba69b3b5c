#pragma once
// What a front end asks of a job: made before the job starts, handed to the job entry by const
// reference and never changed by the job. Each step is given the parts it needs.

#include <cstdint>
#include <string>

namespace cw {

// The kind of files the user asked for ("Advanced Settings", --target, or the card detection
// that typing a card path runs): none chosen leaves the card's own kind to decide.
enum class TargetChoice : int32_t { kNone, kEngine, kPanel };

// "Restore Only" of a backup taken from another card: the user is asked (the window), or the
// front end has already said (the command line's --other-card, or its absence).
enum class OtherCardBackup { kAsk, kAllow, kRefuse };

// What a store does about backups: whether it makes one ("Create Backup" off, or "Restore
// Only"), how many earlier backups of a kind the history keeps (-1: the data folder's setting),
// and for "Restore Only" the backup to put back (a name from the history, or empty for the
// latest of the card's kind) and what becomes of one taken from another card.
struct BackupChoice {
  bool skip = false;
  bool restoreOnly = false;
  int32_t kept = -1;
  std::string restoreName;
  OtherCardBackup otherCard = OtherCardBackup::kAsk;
};

// "Store and Verify" (with "Restore Only" when backup.restoreOnly is set).
struct StoreRequest {
  std::string cardPath;     // the card's drive as the user gave it ("E:")
  std::string packagePath;  // the package to store
  std::string dataPath;     // the data folder: backups, temporary files
  TargetChoice target = TargetChoice::kNone;
  BackupChoice backup;
};

// "Verify Only": against the package at packagePath, or the card's own reference when empty.
struct VerifyRequest {
  std::string cardPath;
  std::string packagePath;
  std::string dataPath;
  TargetChoice target = TargetChoice::kNone;

  bool UsesPackageFile() const { return !packagePath.empty(); }
};

// What a package load and a verification hold the card to: the package being stored (its
// whole table, the panel's CRC list checked, failures restored), a package given to a
// verification, or the card's own reference (its stored copy or CRC list).
enum class Reference : int32_t { kStoring, kPackage, kCard };

}  // namespace cw
