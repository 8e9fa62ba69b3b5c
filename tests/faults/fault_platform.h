#pragma once
// A platform that wraps another and injects the faults a technician's PC meets: the k-th
// operation of one kind fails with a plausible Windows error, or the card is pulled before its
// k-th operation. Everything else passes through to the wrapped platform (ForwardingPlatform),
// which keeps the state (so a test reads the card as the fault left it).
//
//   FakePlatform fake;  ...lay out the card...
//   FaultPlatform faults(fake);
//   faults.FailNth(Fault::kWrite, 3);   // the third write anywhere fails (half of it written)
//   faults.PullCardAt(40);              // or: the card is gone from its 40th operation on
//   ...run the job on `faults`...

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/forwarding_platform.h"

namespace cw::test {

enum class Fault {
  kOpen,          // OpenFile of an existing file (Read, ReadWrite)
  kCreate,        // OpenFile that may create (CreateAlways, OpenAlways, CreateNew)
  kWrite,         // File::Write
  kCopy,          // CopyFile
  kDelete,        // DeleteFile
  kSetAttributes, // SetFileAttributes
  kCreateFolder,  // CreateDirectory
  kFlush,         // FlushFiles: the PC's disk does not take the backup
  kFileFlush,     // File::Flush (a mark or a manifest that does not reach the disk)
  kMove,          // MoveFile (a backup folder moved into the history)
  kRemoveFolder,  // RemoveDirectory (a history entry pruned)
  kNoRoom,        // GetDiskSpace off the card: the PC's disk is full
};
inline constexpr Fault kAllFaults[] = {
    Fault::kOpen,         Fault::kCreate, Fault::kWrite,     Fault::kCopy,
    Fault::kDelete,       Fault::kSetAttributes, Fault::kCreateFolder, Fault::kFlush,
    Fault::kFileFlush,    Fault::kMove,   Fault::kRemoveFolder, Fault::kNoRoom};
constexpr int kFaultKinds = 12;

const char* FaultName(Fault fault);
// The error a real failure of that kind most often carries: a file held open by another
// program (32), access denied (5), a full card (112).
uint32_t PlausibleError(Fault fault);

// Errors of a pulled card: a path on it (3), the drive itself (21, not ready), an open handle
// to one of its files (1117).
constexpr uint32_t kErrNotReady = 21;

class FaultPlatform : public ForwardingPlatform {
 public:
  explicit FaultPlatform(Platform& inner, char cardLetter = 'E');
  ~FaultPlatform() override;

  // The k-th operation (1-based, counted from now) of `fault`'s kind fails with `error`
  // (0: PlausibleError). An injected write writes the first half of its bytes, as a card that
  // fills up does. One fault per run; a later call replaces it.
  void FailNth(Fault fault, int k, uint32_t error = 0);
  // The card is pulled before its k-th operation (1-based): that one and every later
  // operation on it fails, its drive type is "no root directory" and it leaves the drive list.
  void PullCardAt(int k);
  // Operations on this path (the diagnostic log, say) are neither counted nor failed.
  void Exempt(const std::string& path);

  int Count(Fault fault) const;  // operations of that kind so far
  int CardOperations() const;    // operations on the card so far
  bool Fired() const;            // the planned fault happened
  std::string FiredAt() const;   // "Write E:\APP\MAIN.BIN" once it has
  bool CardPulled() const;

  // --- Platform: the calls a fault or a pulled card changes ---
  std::vector<std::string> LogicalDriveStrings() override;
  DriveType GetDriveType(const std::string& rootPath) override;
  bool GetVolumeInformation(const std::string& rootPath, std::string* volumeName,
                            std::string* fileSystemName,
                            uint32_t* serialNumber = nullptr) override;
  bool GetDiskSpace(const std::string& rootPath, uint64_t* totalBytes,
                    uint64_t* freeBytes) override;
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
  bool FlushFiles(const std::string& folder, const std::vector<std::string>& files) override;
  // A job never asks it; the wrapped platform's answer would see a pulled card come back.
  bool DrivesChanged() override { return false; }

 private:
  friend class FaultFile;

  bool OnCard(const std::string& path) const;
  bool IsExempt(const std::string& path) const;
  // Counts an operation on `path` (on the card or not) and says whether it fails because the
  // card is gone; sets `error` then.
  bool CardGone(const std::string& path, bool onCard, uint32_t goneError);
  // Counts an operation of `fault`'s kind and says whether it is the one planned to fail.
  bool Injected(Fault fault, const std::string& op, const std::string& path);

  const char card_;
  mutable std::mutex mutex_;
  int counts_[kFaultKinds] = {};
  int cardOps_ = 0;
  bool planned_ = false;
  Fault fault_ = Fault::kOpen;
  int failAt_ = 0;
  uint32_t error_ = 0;
  int pullAt_ = 0;
  bool pulled_ = false;
  std::string firedAt_;
  std::set<std::string> exempt_;
};

}  // namespace cw::test
