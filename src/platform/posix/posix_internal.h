#pragma once
// Internals of the POSIX backend: the platform class, whose members live in one file per
// concern, and the pure helpers those files share (reachable by the tests).

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "platform/wildcard.h"

namespace cw::posix {

// --- errors.cpp ---
// The Windows error for errno `err` met on `hostPath` (ENOENT: 2 when the parent folder
// exists, else 3).
uint32_t WinErrorFromErrno(int err, const std::string& hostPath);
// Sets the calling thread's last error from errno `err`; returns false for `return Fail...`.
bool FailErrno(int err, const std::string& hostPath = "");
bool FailWith(uint32_t error);

// --- host_names.cpp ---
// The process's current folder as a host path ("/" when it cannot be read).
std::string CurrentHostFolder();
char UpperAscii(char c);
std::string UpperAscii(std::string text);
bool SameNameIgnoringAsciiCase(std::string_view a, std::string_view b);
// "/a/b" + "c" -> "/a/b/c"; "/" + "c" -> "/c".
std::string JoinHost(const std::string& folder, const std::string& name);
std::string ParentOf(const std::string& hostPath);
std::string NameOf(const std::string& hostPath);
// True when `path` is `root` or lies below it (whole components).
bool PathIsUnder(const std::string& path, const std::string& root);

// Whether a host path lies on a FAT file system, whose attributes are the FAT driver's own.
bool OnFat(const std::string& hostPath);
// The attributes of an open file, read through its descriptor (no path to look up again).
bool AttributesOfOpen(int fd, uint32_t* attributes);
// What a listing learnt of its folder's file system: every entry on the same device shares it,
// so the folder is asked once, not each entry.
struct FolderFs {
  dev_t device;
  bool fat;
};
// An absolute, lexically normal host path ("." and ".." folded, no doubled or trailing "/").
std::string NormalHostPath(const std::string& path);

// --- folder_names.cpp ---
// Which entry of a host folder a name means, ignoring ASCII case. A case-insensitive lookup
// scans the whole folder. The job's own paths are upper-cased (the data folder, the backup
// folder), so without a memory every log line and every backup copy would scan the same
// unchanged folders again: "/", "/home", the home folder. A folder's names are kept while its
// identity and times stay the same, and only when those times lie a few seconds in the past:
// timestamps are coarse (2 s on FAT), so a folder changed again within the same tick would
// otherwise look unchanged. Each platform keeps its own; any thread may ask.
class FolderNameCache {
 public:
  // The entry of `folder` that `name` means: the exact name, else the one entry that matches
  // ignoring ASCII case, else `name` as given (ambiguous or missing). *found (optional) tells
  // whether the result names an existing entry.
  std::string Match(const std::string& folder, const std::string& name, bool* found = nullptr);
  // The same at the time `now`: a folder's names are remembered once its times lie a few
  // seconds before `now`, and used while its identity and times stay the same (tests move the
  // clock).
  std::string MatchAt(const std::string& folder, const std::string& name, time_t now,
                      bool* found = nullptr);

 private:
  struct Names {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{}, changed{};
    std::unordered_set<std::string> exact;
    // Upper-cased name -> the entry's own name and how many entries share that upper-case form.
    std::unordered_map<std::string, std::pair<std::string, int>> byUpper;
  };
  static bool SameFolder(const Names& names, const struct stat& st);
  static std::string Lookup(const Names& names, const std::string& name, bool* found);

  std::mutex mutex_;  // guards folders_
  std::unordered_map<std::string, Names> folders_;
};

// --- mounts.cpp ---
struct MountEntry {
  std::string majorMinor;    // "8:17"
  std::string mountPoint;    // with octal escapes decoded
  std::string mountOptions;  // per mount: "rw,nosuid,relatime"
  std::string fsType;        // "vfat"
  std::string source;        // "/dev/sdb1"
  std::string superOptions;  // "rw,fmask=0022,shortname=mixed"
};
std::vector<MountEntry> ParseMountInfo(const std::string& text);
std::vector<MountEntry> ReadMountInfo();
// The mount whose mount point is exactly `hostPath` (the last one: it hides earlier ones).
std::optional<MountEntry> MountAt(const std::vector<MountEntry>& mounts,
                                  const std::string& hostPath);
// The mount that holds `hostPath`: the longest mount point above it.
std::optional<MountEntry> MountOf(const std::vector<MountEntry>& mounts,
                                  const std::string& hostPath);
// Whether block device MAJ:MIN lives on a removable or USB-attached disk, per sysfs at sysRoot.
bool IsRemovableDevice(const std::string& sysRoot, const std::string& majorMinor);
bool IsFatType(const std::string& fsType);
// The file-system name as Windows reports it: vfat is "FAT" below 65525 clusters, else
// "FAT32"; any other file system is its mount type (or magic number) upper-cased.
std::string FileSystemName(int64_t magic, uint64_t blocks, const std::string& fsType);
// The mount(2) flags and data that mount `mount` again as it was.
struct MountRequest {
  unsigned long flags = 0;
  std::string data;
};
MountRequest RemountRequest(const MountEntry& mount);
// Unmounts and later remounts a vfat mount point in place (root only).
bool UnmountFolder(const std::string& mountPoint, int* err);
bool RemountFolder(const MountEntry& mount, int* err);

// --- user_mounts.cpp ---
// How an ordinary user unmounted a card: through the desktop's mounter (udisksctl), or through
// an fstab entry that lets users mount it; kNone when neither would.
enum class UserMountWay { kNone, kDesktopMounter, kFstab };
UserMountWay UnmountAsUser(const MountEntry& mount);
// Mounts the card again the way it was unmounted; where it now is (the desktop's mounter may
// choose another folder), or nothing when it is not mounted.
std::optional<std::string> MountAsUser(const MountEntry& mount, UserMountWay way);

// --- find.cpp ---
// Windows wildcard match, shared with the other backends (platform/wildcard.h).
using cw::WildcardMatch;

// --- attributes.cpp ---
// The user.DOSATTRIB text form: "0x22".
std::string FormatDosAttrib(uint32_t attributes);
std::optional<uint32_t> ParseDosAttrib(const std::string& text);
FileTime WriteTimeOf(const struct stat& st);

// --- files.cpp ---
// open(2) for a file the program writes: never through a symbolic link in the last place of
// the path, and a file that is made is made exclusively (O_EXCL), so a name planted in a folder
// that others can write cannot send the write elsewhere. O_CLOEXEC is added.
int OpenNoFollow(const std::string& hostPath, int flags, mode_t mode);

// --- locks.cpp ---
// The lock file of a lock name that is not a file: <folder>/cardwright-<name>.lock, with every
// character outside [A-Za-z0-9._-] replaced by '_'.
std::string NamedLockPath(const std::string& folder, const std::string& name);

// --- private_folder.cpp ---
// This user's own folder: `runtimeFolder` ($XDG_RUNTIME_DIR) when set, else
// "cardwright-<uid>" below `tempFolder` ($TMPDIR; /tmp when empty).
std::string PrivateFolderFor(const std::string& runtimeFolder, const std::string& tempFolder,
                             unsigned uid);
// Makes `folder` (mode 0700) when it is missing. Empty when it is then a real folder, not a
// link, owned by the effective user and closed to every other account; else what is wrong.
std::string MakePrivateFolder(const std::string& folder);

struct Drive {
  char letter = 0;
  std::string hostPath;  // absolute, normal
  bool removable = false;
  std::optional<std::string> fileSystem;
  std::optional<uint64_t> totalBytes;
  std::optional<uint32_t> serialNumber;
  // Set while we hold the drive's FAT file system unmounted; remounted on next access, by
  // mount(2) as root, else the way the user unmounted it.
  bool unmounted = false;
  MountEntry savedMount;
  UserMountWay userWay = UserMountWay::kNone;
};

class PosixPlatform final : public Platform {
 public:
  explicit PosixPlatform(const PosixPlatformOptions& options);
  // Mounts again every card this platform unmounted; so does the end of the process.
  ~PosixPlatform() override;
  void RemountAll();

  std::vector<std::string> LogicalDriveStrings() override;
  DriveType GetDriveType(const std::string& rootPath) override;
  bool GetVolumeInformation(const std::string& rootPath, std::string* volumeName,
                            std::string* fileSystemName,
                            uint32_t* serialNumber = nullptr) override;
  bool GetDiskSpace(const std::string& rootPath, uint64_t* totalBytes,
                    uint64_t* freeBytes) override;
  std::string DriveHostPath(const std::string& rootPath) override;
  bool GetDriveFolderId(const std::string& rootPath, uint64_t* device, uint64_t* node) override;
  // The kernel marks /proc/self/mountinfo when anything is mounted or unmounted; the drive
  // map is then built again (discovered cards only; a card we hold unmounted keeps its drive).
  bool DrivesChanged() override;

  std::unique_ptr<Volume> OpenVolume(const std::string& devicePath) override;
  bool DismountVolume(Volume& volume) override;
  bool IsVolumeMounted(Volume& volume) override;
  bool CloseVolume(std::unique_ptr<Volume> volume) override;

  std::unique_ptr<File> OpenFile(const std::string& path, OpenMode mode) override;
  std::unique_ptr<Appender> OpenAppender(const std::string& path) override;
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
  // The host's own drive (C:, the root "/") and relative paths as host paths, case kept.
  std::string DisplayPath(const std::string& path) override;
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

  // A host path as the program names it, a Windows path: under the drive whose folder holds it
  // most closely.
  std::string HostToWindows(const std::string& hostPath) const;

 private:
  void BuildDriveMap();
  // Windows path -> host path. False (last error 3) for an unknown drive or an empty path.
  // With lookUp false, a path that can be spelt as written is returned so, unproven: for a
  // call that itself fails on a missing name and then asks AnotherCase.
  bool Resolve(const std::string& path, std::string* hostPath, bool lookUp = true);
  // Resolve's result in one or two lookups when the path's folders exist as written below
  // `base` (the walk's start); false when the full walk is needed.
  bool ResolveAsWritten(const std::string& path, size_t start, const std::string& base,
                        std::string* hostPath, bool lookUp);
  // After a call on `*hostPath` (Resolve's unproven result) failed for want of the name: true,
  // with *hostPath changed, when the name exists in another case; else false, the last error
  // kept.
  bool AnotherCase(const std::string& path, std::string* hostPath);
  // For a path below the documents folder last reported, in any case: that folder's host path
  // and where the rest of the path starts. False when the path is not below it, or that folder
  // is no longer the one reported.
  bool BelowDocuments(const std::string& path, std::string* hostFolder, size_t* restStart);
  // The drive whose root `rootPath` names ("E:", "E:\"), or -1.
  int DriveOfRoot(const std::string& rootPath) const;
  // The drive a Windows path lies on, or -1.
  int DriveOfPath(const std::string& path) const;
  int DriveIndex(char letter) const;
  // Mounts again a FAT card we unmounted. False (last error 21, not ready) while it cannot be:
  // the drive's folder is then only the empty mount point, and must not stand for the card.
  bool EnsureMounted(int driveIndex);
  // Without root: the card at the drive's folder unmounted and mounted again the user's way.
  bool RemountAsUser(Drive& drive, const MountEntry& mount);
  uint32_t AttributesOf(const std::string& hostPath, const struct stat& st,
                        const FolderFs* folder = nullptr);
  bool SetHostAttributes(const std::string& hostPath, uint32_t attributes);
  bool FillEntry(const std::string& hostPath, const std::string& name, FindEntry* entry,
                 const FolderFs* folder = nullptr);
  std::unique_ptr<HeldLock> Lock(const std::string& name, uint32_t waitMilliseconds);
  // The private folder once it has passed its check (checked again until it does).
  bool PrivateFolderReady();

  PosixPlatformOptions options_;
  bool instantSleeps_ = false;
  std::string privateFolder_;  // host path, fixed at construction
  std::atomic<bool> privateFolderReady_{false};
  // In letter order; between jobs DrivesChanged may build it again, during a job only the
  // unmount state changes.
  std::vector<Drive> drives_;
  int mountTable_ = -1;  // /proc/self/mountinfo, polled by DrivesChanged
  std::mutex mountMutex_;      // guards Drive::unmounted and Drive::savedMount
  // The documents folder as last reported: its Windows spelling, its host folder and that
  // folder's identity. The job upper-cases the paths of its data below it, which the host's
  // folders above it (/home/...) do not match as written.
  struct KnownFolder {
    std::string windowsPath;
    std::string hostPath;
    dev_t device = 0;
    ino_t inode = 0;
  };
  std::mutex documentsMutex_;  // guards documents_
  std::optional<KnownFolder> documents_;
  // The names of the host folders that paths were matched in (resolve.cpp, find.cpp).
  FolderNameCache folderNames_;
};

}  // namespace cw::posix
