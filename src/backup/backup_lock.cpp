#include "backup/backup_lock.h"

namespace cw {

std::string BackupLockName(const std::string& backupFolder) { return backupFolder + ".lock"; }

bool BackupFolderLock::TryTake(Platform& platform, const std::string& backupFolder) {
  held_.reset();
  folder_ = backupFolder;
  held_ = platform.TryAcquireLock(BackupLockName(backupFolder));
  return held_ != nullptr;
}

}  // namespace cw
