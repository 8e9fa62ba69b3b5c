#pragma once
// One backup folder per kind of card, and one job at a time in it. A store job takes the
// folder's lock before it first looks into the folder and keeps it until the job ends, so a
// second job (another window, another command line) can never empty or restore a backup that
// is not its own. The lock is a file beside the folder, never inside it: cleaning the backup
// must not delete it. The operating system drops it when its holder dies.

#include <memory>
#include <string>

#include "platform/platform.h"

namespace cw {

// The lock's name for a backup folder: its Windows path followed by ".lock".
std::string BackupLockName(const std::string& backupFolder);

class BackupFolderLock {
 public:
  BackupFolderLock() = default;
  BackupFolderLock(const BackupFolderLock&) = delete;
  BackupFolderLock& operator=(const BackupFolderLock&) = delete;

  // Takes the lock of `backupFolder` without waiting. False when another job holds it (or the
  // lock cannot be had at all); a lock already held here is released first.
  bool TryTake(Platform& platform, const std::string& backupFolder);
  bool Held() const { return held_ != nullptr; }
  const std::string& folder() const { return folder_; }

 private:
  std::unique_ptr<HeldLock> held_;
  std::string folder_;
};

}  // namespace cw
