#pragma once
// The Win32 backend: the platform's calls are the Windows calls they are named after. Drive
// letters, paths, attributes and error numbers are Windows' own; nothing is translated.
// Include platform/win32/windows_api.h before this header.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/drive_map.h"
#include "platform/platform.h"

namespace cw::win32 {

// A DeviceIoControl call without input or output buffers, as the volume calls make it:
// true on success, else false with Windows' last error set. Replaceable because Wine
// accepts the dismount codes without doing anything, so their failures are tested with a fake.
using VolumeControl = std::function<bool(HANDLE volume, DWORD controlCode)>;
bool SystemVolumeControl(HANDLE volume, DWORD controlCode);

struct Win32PlatformOptions {
  // Only the type, file-system and size overrides apply: drive letters are real here.
  std::vector<DriveMapping> mappings;
  bool instantSleeps = false;
  VolumeControl volumeControl = SystemVolumeControl;
};

// The mutex a lock name stands for: "B_LOGTOFILE_MUTEX" is itself; a file's path gives
// "cardwright-file-" and the upper-cased path, any other name "cardwright-" and the name, with
// every character outside [A-Za-z0-9._-] replaced by '_' (a backslash would make it a kernel
// path) and an over-long name cut and ended by a hash of the whole.
std::string MutexNameFor(const std::string& lockName);

// 100-ns intervals since 1601 -> nanoseconds since 1970.
FileTime FromFileTime(const FILETIME& time);

// Sets the calling thread's last error from Windows' and returns false.
bool FailSystem();
bool FailWith(uint32_t error);

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(Win32PlatformOptions options);

  std::vector<std::string> LogicalDriveStrings() override;
  DriveType GetDriveType(const std::string& rootPath) override;
  bool GetVolumeInformation(const std::string& rootPath, std::string* volumeName,
                            std::string* fileSystemName,
                            uint32_t* serialNumber = nullptr) override;
  bool GetDiskSpace(const std::string& rootPath, uint64_t* totalBytes,
                    uint64_t* freeBytes) override;
  std::string DriveHostPath(const std::string& rootPath) override;

  std::unique_ptr<Volume> OpenVolume(const std::string& devicePath) override;
  // FSCTL_LOCK_VOLUME, asked again a few times while another program holds the volume (it may
  // let go in a moment); held until the volume is closed.
  bool LockVolume(Volume& volume) override;
  bool DismountVolume(Volume& volume) override;
  bool IsVolumeMounted(Volume& volume) override;
  bool CloseVolume(std::unique_ptr<Volume> volume) override;

  std::unique_ptr<File> OpenFile(const std::string& path, OpenMode mode) override;
  bool FindFiles(const std::string& pattern, std::vector<FindEntry>* matches) override;
  bool CopyFile(const std::string& source, const std::string& destination,
                bool failIfExists, CopyWatcher* watcher = nullptr) override;
  bool MoveFile(const std::string& source, const std::string& destination) override;
  bool DeleteFile(const std::string& path) override;
  bool CreateDirectory(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  uint32_t GetFileAttributes(const std::string& path) override;
  bool SetFileAttributes(const std::string& path, uint32_t attributes) override;
  bool GetFileInfo(const std::string& path, FindEntry* info) override;
  std::string ToHostPath(const std::string& path) override;
  bool FlushFiles(const std::string& folder, const std::vector<std::string>& files) override;

  std::string GetCurrentDirectory() override;
  std::string GetTempPath() override;
  bool GetDocumentsFolder(std::string* path) override;
  std::string GetUserName() override;
  LocalTime GetLocalTime() override;
  WallTime GetWallTime() override;
  std::string GetHostName() override;
  void Sleep(uint32_t milliseconds) override;

  std::unique_ptr<HeldLock> AcquireLock(const std::string& name,
                                        uint32_t waitMilliseconds) override;
  std::unique_ptr<HeldLock> TryAcquireLock(const std::string& name) override;
  bool CheckPrivateFolder(std::string* why) override;

 private:
  bool CopyWatched(const std::string& source, const std::string& destination, bool failIfExists,
                   CopyWatcher& watcher);
  // The mapping that overrides the drive whose root `path` lies on, or nullptr.
  const DriveMapping* OverrideFor(const std::string& path) const;
  std::unique_ptr<HeldLock> Lock(const std::string& name, DWORD waitMilliseconds);

  Win32PlatformOptions options_;
  std::map<char, DriveMapping> overrides_;  // by upper-case letter
};

}  // namespace cw::win32
