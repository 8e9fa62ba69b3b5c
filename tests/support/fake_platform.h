#pragma once
// An in-memory platform for unit tests. It keeps state the way a disk does: drives with their
// type, file system and capacity; folders; files with content, attributes and times; raw
// volumes that mount and dismount. Windows paths resolve case-insensitively, failures set
// Windows error numbers, every call is recorded, any call can be made to fail, sleeps are
// instant and counted. A test hands it to what it tests as any other platform; each test has
// its own, so tests on fake platforms may run side by side.
//
// Windows' path rules apply: a name's ending dots and blanks are dropped, and a file, copy,
// rename or folder whose path is past MAX_PATH (platform/path_limits.h) fails with error 206.
//
// The constructor adds drive C: (fixed, "NTFS", 64 GiB) holding the current folder C:\WORK.

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace cw {

struct FakeCall {
  std::string op;    // the Platform or File method's name: "OpenFile", "Write", ...
  std::string path;  // the path, pattern, volume or lock name as the caller gave it
};

class FakePlatform : public Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;

  // --- Setting up ---
  void AddDrive(char letter, DriveType type, const std::string& fileSystem, uint64_t totalBytes,
                const std::string& volumeName = "");
  // A card taken out: the drive goes, its files are no longer reached through the drive list.
  // Both this and AddDrive are seen once by DrivesChanged.
  void RemoveDrive(char letter);
  // Creates the folder and every missing folder above it.
  void AddFolder(const std::string& path);
  // Creates or replaces a file, creating its missing folders.
  void WriteFile(const std::string& path, const std::string& bytes,
                 uint32_t attributes = kAttrArchive);
  // Removes a folder with everything below it (a folder deleted in Explorer); on a drive root
  // it empties the drive (a reformatted card).
  void RemoveTree(const std::string& path);
  void SetLocalTime(const LocalTime& time);
  void SetDocumentsFolder(const std::string& path);  // "" = there is none
  void SetCurrentFolder(const std::string& path);
  void SetUserName(const std::string& name);
  void SetFreeBytes(char letter, uint64_t bytes);
  void SetSerialNumber(char letter, uint32_t serialNumber);  // else capacity minus content
  // A dismount that "succeeds" but leaves the volume mounted (a busy card).
  void SetStaysMounted(char letter, bool staysMounted);
  // Another program holds the volume (an Explorer window on the card): its next `refusals`
  // locks are refused with error 5, every one while `refusals` is negative; 0 lets it go.
  void HoldVolume(char letter, int refusals);
  // Cards swapped in a slot. Beside each drive waits another card (serial BBBB-0002, no files
  // until a test swaps it in and writes some). SwapCards exchanges it with the card in the slot,
  // content and serial (a second swap puts the first back): at once, or by the platform itself
  // at the `nthQuery`-th GetVolumeInformation after the `nthOp`-th call of `op` (on `path`).
  void SwapCards(char letter, int nthQuery = 0, const std::string& op = "", int nthOp = 0,
                 const std::string& path = "");
  // Find-first/next over "*" patterns in a subfolder yields "." and ".." first, as Windows does.
  void SetDotEntries(bool on);
  // What CheckPrivateFolder answers; "" (the start) is a private folder that may be used.
  void SetPrivateFolderProblem(const std::string& why);

  // The nth matching call of `op` from now on fails with `error` (op is a method's name, file
  // methods included: "Read", "Write", "Seek", "GetSize", "Flush", "Close"). With a path, only
  // calls on that path count.
  void FailCall(const std::string& op, uint32_t error, int nth = 1, const std::string& path = "");
  // Every matching call fails until ClearFailures.
  void FailAlways(const std::string& op, uint32_t error, const std::string& path = "");
  void ClearFailures();

  // --- Inspecting ---
  bool Exists(const std::string& path) const;
  bool IsFolder(const std::string& path) const;
  std::string ReadFile(const std::string& path) const;  // "" when missing
  uint32_t Attributes(const std::string& path) const;   // kInvalidAttributes when missing
  std::vector<std::string> List(const std::string& folder) const;  // names, creation order
  // Every file below `folder` ("E:\\APP\\MAIN.BIN" -> content): a drive before and after a job.
  std::map<std::string, std::string> Files(const std::string& folder) const;
  std::vector<FakeCall> Calls() const;
  // Calls of `op`; with a path, only those on the same path (compared case-insensitively).
  size_t CallCount(const std::string& op, const std::string& path = "") const;
  void ClearCalls();
  uint64_t SleptMs() const;
  size_t SleepCount() const;
  int DismountCount(char letter) const;

  // --- Platform ---
  std::vector<std::string> LogicalDriveStrings() override;
  DriveType GetDriveType(const std::string& rootPath) override;
  bool GetVolumeInformation(const std::string& rootPath, std::string* volumeName,
                            std::string* fileSystemName,
                            uint32_t* serialNumber = nullptr) override;
  bool GetDiskSpace(const std::string& rootPath, uint64_t* totalBytes,
                    uint64_t* freeBytes) override;
  std::string DriveHostPath(const std::string& rootPath) override;
  bool DrivesChanged() override;
  std::unique_ptr<Volume> OpenVolume(const std::string& devicePath) override;
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
  void Sleep(uint32_t milliseconds) override;
  // A bounded wait for a held lock gives up at once, as if its time had passed.
  std::unique_ptr<HeldLock> AcquireLock(const std::string& name,
                                        uint32_t waitMilliseconds) override;
  std::unique_ptr<HeldLock> TryAcquireLock(const std::string& name) override;
  bool CheckPrivateFolder(std::string* why) override;

 private:
  friend class FakeFile;
  friend class FakeLock;
  struct Node {
    std::string name;
    bool dir = false;
    std::string data;
    uint32_t attributes = 0;
    FileTime time = 0;
    uint64_t order = 0;
  };
  struct Drive {
    DriveType type = DriveType::Fixed;
    std::string fileSystem, volumeName;
    uint32_t serialNumber = 0;
    uint64_t totalBytes = 0;
    int64_t freeBytes = -1;  // -1: capacity minus content
    bool staysMounted = false;
    int lockRefusals = 0;  // negative: every lock
    int dismounts = 0;
    uint32_t otherSerial = 0xBBBB0002;  // the card beside the slot (SwapCards)
    std::map<std::string, std::shared_ptr<Node>> otherNodes;
  };
  struct SwapTrigger {  // a SwapCards to come: after `events` more calls of `op`, at a query
    char letter;
    std::string op, key;
    int events, queries;
  };
  struct Failure {
    std::string op, key;
    uint32_t error = 0;
    int remaining = 0;  // 0: always
  };
  struct Resolved {
    bool ok = false;
    std::string key, parentKey, name, hostPath;
  };

  Resolved Resolve(const std::string& path) const;
  std::string Key(const std::string& path) const;
  std::shared_ptr<Node> Find(const std::string& key) const;
  bool Fails(const std::string& op, const std::string& path);  // records the call too
  bool Missing(const Resolved& r);  // sets 2 or 3, returns false
  std::shared_ptr<Node> Lookup(const std::string& path, Resolved* r);  // sets 2 or 3 if absent
  std::vector<const Node*> Children(const std::string& key) const;  // in creation order
  std::shared_ptr<Node> Create(const Resolved& r, bool dir);
  void MakeFolders(const std::string& path);
  FindEntry EntryOf(const Node& node) const;
  Drive* DriveOf(const std::string& rootPath);
  void SwapCardsLocked(char letter);

  mutable std::mutex mutex_;
  std::map<char, Drive> drives_;
  bool drivesChanged_ = false;
  std::map<std::string, std::shared_ptr<Node>> nodes_;
  std::vector<Failure> failures_;
  std::vector<SwapTrigger> swaps_;
  std::vector<FakeCall> calls_;
  uint64_t nextOrder_ = 0;
  FileTime clock_ = 1'700'000'000'000'000'000;
  LocalTime localTime_{2024, 12, 6, 13, 45, 5, 0};
  std::string documents_ = "C:\\HOME\\TECH\\DOCUMENTS";
  std::string currentFolder_ = "C:\\WORK";
  std::string userName_ = "tech";
  bool dotEntries_ = true;
  uint64_t sleptMs_ = 0;
  size_t sleepCount_ = 0;

  std::mutex lockMutex_;
  std::condition_variable lockFreed_;
  std::set<std::string> heldLocks_;
  std::string privateFolderProblem_;
};

}  // namespace cw
