#pragma once
// A platform that hands every call to another one: the base of a test platform that changes
// a few calls (faults, counts) and leaves the rest, and the state, to the platform it wraps.

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace cw::test {

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

  std::vector<std::string> LogicalDriveStrings() override { return inner_.LogicalDriveStrings(); }
  DriveType GetDriveType(const std::string& rootPath) override {
    return inner_.GetDriveType(rootPath);
  }
  bool GetVolumeInformation(const std::string& rootPath, std::string* volumeName,
                            std::string* fileSystemName,
                            uint32_t* serialNumber = nullptr) override {
    return inner_.GetVolumeInformation(rootPath, volumeName, fileSystemName, serialNumber);
  }
  bool GetDiskSpace(const std::string& rootPath, uint64_t* totalBytes,
                    uint64_t* freeBytes) override {
    return inner_.GetDiskSpace(rootPath, totalBytes, freeBytes);
  }
  std::string DriveHostPath(const std::string& rootPath) override {
    return inner_.DriveHostPath(rootPath);
  }
  bool GetDriveFolderId(const std::string& rootPath, uint64_t* device, uint64_t* node) override {
    return inner_.GetDriveFolderId(rootPath, device, node);
  }
  bool DrivesChanged() override { return inner_.DrivesChanged(); }

  std::unique_ptr<Volume> OpenVolume(const std::string& devicePath) override {
    return inner_.OpenVolume(devicePath);
  }
  bool LockVolume(Volume& volume) override { return inner_.LockVolume(volume); }
  bool DismountVolume(Volume& volume) override { return inner_.DismountVolume(volume); }
  bool IsVolumeMounted(Volume& volume) override { return inner_.IsVolumeMounted(volume); }
  bool CloseVolume(std::unique_ptr<Volume> volume) override {
    return inner_.CloseVolume(std::move(volume));
  }

  std::unique_ptr<File> OpenFile(const std::string& path, OpenMode mode) override {
    return inner_.OpenFile(path, mode);
  }
  bool FindFiles(const std::string& pattern, std::vector<FindEntry>* matches) override {
    return inner_.FindFiles(pattern, matches);
  }
  bool CopyFile(const std::string& source, const std::string& destination, bool failIfExists,
                CopyWatcher* watcher = nullptr) override {
    return inner_.CopyFile(source, destination, failIfExists, watcher);
  }
  bool MoveFile(const std::string& source, const std::string& destination) override {
    return inner_.MoveFile(source, destination);
  }
  bool DeleteFile(const std::string& path) override { return inner_.DeleteFile(path); }
  bool CreateDirectory(const std::string& path) override { return inner_.CreateDirectory(path); }
  bool RemoveDirectory(const std::string& path) override { return inner_.RemoveDirectory(path); }
  uint32_t GetFileAttributes(const std::string& path) override {
    return inner_.GetFileAttributes(path);
  }
  bool SetFileAttributes(const std::string& path, uint32_t attributes) override {
    return inner_.SetFileAttributes(path, attributes);
  }
  bool GetFileInfo(const std::string& path, FindEntry* info) override {
    return inner_.GetFileInfo(path, info);
  }
  std::string ToHostPath(const std::string& path) override { return inner_.ToHostPath(path); }
  std::string DisplayPath(const std::string& path) override { return inner_.DisplayPath(path); }
  bool FlushFiles(const std::string& folder, const std::vector<std::string>& files) override {
    return inner_.FlushFiles(folder, files);
  }

  std::string GetCurrentDirectory() override { return inner_.GetCurrentDirectory(); }
  std::string GetTempPath() override { return inner_.GetTempPath(); }
  bool GetDocumentsFolder(std::string* path) override { return inner_.GetDocumentsFolder(path); }
  std::string GetUserName() override { return inner_.GetUserName(); }
  LocalTime GetLocalTime() override { return inner_.GetLocalTime(); }
  void Sleep(uint32_t milliseconds) override { inner_.Sleep(milliseconds); }

  std::unique_ptr<HeldLock> AcquireLock(const std::string& name,
                                        uint32_t waitMilliseconds) override {
    return inner_.AcquireLock(name, waitMilliseconds);
  }
  std::unique_ptr<HeldLock> TryAcquireLock(const std::string& name) override {
    return inner_.TryAcquireLock(name);
  }
  bool CheckPrivateFolder(std::string* why) override { return inner_.CheckPrivateFolder(why); }

 protected:
  Platform& inner_;  // keeps the state
};

}  // namespace cw::test
