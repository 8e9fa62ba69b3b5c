#include "backup/backup_lock.h"

namespace cw {

std::string BackupLockName(const std::string& backupFolder) { return backupFolder + ".lock"; }

bool BackupFolderLock::TryTake(const std::string& backupFolder) {
  held_.reset();
  folder_ = backupFolder;
  held_ = Sys().TryAcquireLock(BackupLockName(backupFolder));
  return held_ != nullptr;
}

}  // namespace cw
