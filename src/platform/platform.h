#pragma once
// The only door to the operating system.
//
// The job code speaks the Windows vocabulary it was designed for: drive letters, backslash
// paths, drive types, volume information, raw volume handles, file attributes and Windows error
// numbers. A backend (platform/posix, later platform/win32) maps that vocabulary onto the host.
// Every call that fails sets the calling thread's last error (Windows numbering) and returns a
// failure value; nothing here throws.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cw {

// Windows error numbers, as messages and log lines carry them.
enum WinError : uint32_t {
  kErrSuccess = 0,
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrAccessDenied = 5,
  kErrInvalidHandle = 6,
  kErrNotReady = 21,  // no medium: the card is out
  kErrInvalidDrive = 15,  // not a drive that can be opened as a card
  kErrWriteProtect = 19,
  kErrGenFailure = 31,
  kErrSharingViolation = 32,
  kErrFileExists = 80,
  kErrDiskFull = 112,
  kErrDirectoryName = 267,  // a folder was expected
  kErrDirNotEmpty = 145,
  kErrFilenameExcedRange = 206,  // a path longer than MAX_PATH (platform/path_limits.h)
  kErrAlreadyExists = 183,
  kErrIoDevice = 1117,
};

// The calling thread's last error, as GetLastError would give it.
uint32_t GetLastError();
void SetLastError(uint32_t error);

enum class DriveType : uint32_t {
  Unknown = 0,
  NoRootDir = 1,  // the path is not the root of a drive ("E:\DATA")
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

// File attribute bits, as FAT and Windows define them.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

// Nanoseconds since 1970-01-01 UTC; only ever compared.
using FileTime = int64_t;

// One match of a find-first/next search.
struct FindEntry {
  std::string name;  // the entry's own name, no folder part
  uint32_t attributes = 0;
  uint64_t size = 0;
  FileTime writeTime = 0;
  bool IsDirectory() const { return (attributes & kAttrDirectory) != 0; }
};

// A moment as a record keeps it: UTC, and the PC's offset from UTC then (local = UTC + offset).
struct WallTime {
  int64_t unixMilliseconds = 0;
  int32_t utcOffsetMinutes = 0;
};

struct LocalTime {
  int year = 0, month = 0, day = 0;  // month 1-12
  int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

enum class OpenMode {
  Read,          // existing file, read only
  ReadWrite,     // existing file, read and write
  CreateAlways,  // create or truncate, read and write
  OpenAlways,    // create if missing, keep content, read and write
  CreateNew,     // create, fail if it exists, read and write
  // Create if missing, keep content, read and append: every Write lands whole at the file's
  // end, wherever another writer left it (O_APPEND, FILE_APPEND_DATA).
  Append,
};

enum class SeekFrom { Begin, Current, End };

// An open file. Others may read and write it at the same time (share read and write).
class File {
 public:
  virtual ~File() = default;
  // Reads up to `size` bytes; *bytesRead says how many came. False on an error.
  virtual bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) = 0;
  // Writes all `size` bytes or fails (disk full, I/O error, ...).
  virtual bool Write(const void* buffer, uint32_t size) = 0;
  virtual bool Seek(int64_t offset, SeekFrom from) = 0;
  virtual int64_t Tell() = 0;
  virtual bool GetSize(uint64_t* size) = 0;
  // The file's attributes as GetFileAttributes gives them for its path, read through the open
  // file. False when they cannot be read so (this default: ask by the path).
  virtual bool GetAttributes(uint32_t* /*attributes*/) { return false; }
  // Makes what was written reach the medium.
  virtual bool Flush() = 0;
  // Closing reports errors of delayed writes; the destructor closes silently.
  virtual bool Close() = 0;
};

// Adds pieces of text at the end of one file, created when missing and never truncated: what
// the log is written through. Each piece goes to the file the path names at that moment (not
// to one removed, renamed or replaced since) in one write.
class Appender {
 public:
  virtual ~Appender() = default;
  // Writes all `size` bytes at the file's end or fails (last error set).
  virtual bool Append(const void* data, uint32_t size) = 0;
};

// A raw volume handle (\\.\E:); opaque to the job code.
class Volume {
 public:
  virtual ~Volume() = default;
};

// Sees every byte a copy reads, in order, so that a checksum is taken on the way instead of by
// reading the source a second time.
class CopyWatcher {
 public:
  virtual ~CopyWatcher() = default;
  virtual void Copied(const void* data, size_t size) = 0;
};

// A held lock; released when destroyed, and by the operating system when the process dies.
class HeldLock {
 public:
  virtual ~HeldLock() = default;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Drives. Roots are "E:\"; GetLogicalDriveStrings order (A: to Z:).
  virtual std::vector<std::string> LogicalDriveStrings() = 0;
  virtual DriveType GetDriveType(const std::string& rootPath) = 0;
  // The file-system name as Windows reports it ("FAT", "FAT32", "EXT4", ...), the label, and
  // the serial number the volume was formatted with (0 when the platform cannot tell it).
  virtual bool GetVolumeInformation(const std::string& rootPath, std::string* volumeName,
                                    std::string* fileSystemName,
                                    uint32_t* serialNumber = nullptr) = 0;
  virtual bool GetDiskSpace(const std::string& rootPath, uint64_t* totalBytes,
                            uint64_t* freeBytes) = 0;
  // The host folder behind a drive root ("E:\" -> "/media/card"), empty when none.
  virtual std::string DriveHostPath(const std::string& rootPath) = 0;
  // Which folder stands behind the drive now (device and inode of its host folder), so that a
  // folder put in a mapped folder's place is told from it. False where the volume's own
  // serial number is the card's whole identity (Windows).
  virtual bool GetDriveFolderId(const std::string& /*rootPath*/, uint64_t* /*device*/,
                                uint64_t* /*node*/) {
    return false;
  }
  // True when cards may have come or gone since the last call, the drives above then being
  // read again; false where the front end hears of it from Windows itself (its
  // device-change message). Called by the window while no job runs, never during one.
  virtual bool DrivesChanged() { return false; }

  // Raw volumes: "\\.\E:".
  virtual std::unique_ptr<Volume> OpenVolume(const std::string& devicePath) = 0;
  // Takes the volume for this handle alone, so that its dismount pulls no file from under
  // another program. False with last error 5 (access denied) or 32 (sharing violation) while
  // another program holds the volume: an Explorer window on the card, a file of it open. A
  // platform without such locks grants it at once.
  virtual bool LockVolume(Volume& /*volume*/) { return true; }
  virtual bool DismountVolume(Volume& volume) = 0;
  virtual bool IsVolumeMounted(Volume& volume) = 0;
  virtual bool CloseVolume(std::unique_ptr<Volume> volume) = 0;

  // Files and folders, by Windows path.
  virtual std::unique_ptr<File> OpenFile(const std::string& path, OpenMode mode) = 0;
  // Find-first/next over a pattern ("E:\*.*", "E:\*.FWP"), in the host's directory order.
  // False, with the last error set, when nothing matches.
  virtual bool FindFiles(const std::string& pattern, std::vector<FindEntry>* matches) = 0;
  // Copies content, times and attributes; `watcher`, when given, sees every byte copied.
  virtual bool CopyFile(const std::string& source, const std::string& destination,
                        bool failIfExists, CopyWatcher* watcher = nullptr) = 0;
  // Renames a file or a whole folder within its volume; fails when the destination exists.
  // The rename has reached stable storage when this returns (write-through), so a crash cannot
  // bring the old name back after what follows it.
  virtual bool MoveFile(const std::string& source, const std::string& destination) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool CreateDirectory(const std::string& path) = 0;
  // Removes an empty folder.
  virtual bool RemoveDirectory(const std::string& path) = 0;
  virtual uint32_t GetFileAttributes(const std::string& path) = 0;
  virtual bool SetFileAttributes(const std::string& path, uint32_t attributes) = 0;
  // An appender to `path`. This default opens, seeks, writes and closes the file for every
  // piece; a backend may keep it open while the path still names it.
  virtual std::unique_ptr<Appender> OpenAppender(const std::string& path);
  // Size, times and attributes of one file or folder, without a search pattern.
  virtual bool GetFileInfo(const std::string& path, FindEntry* info) = 0;
  // The host path a Windows path resolves to (for messages, tests and front ends).
  virtual std::string ToHostPath(const std::string& path) = 0;
  // A path as a person or a script reading a message, log line, transcript or report writes it
  // on this host. A card's path keeps its drive letter everywhere: the letter is the card's name
  // here. On Windows every path is shown as it is.
  virtual std::string DisplayPath(const std::string& path) { return path; }
  // Makes `files` and the folders holding them, all below `folder`, reach stable storage, so a
  // power cut or a crash of the PC cannot take them back. The POSIX backend syncs the file
  // system holding `folder` once; the Win32 backend flushes each file.
  virtual bool FlushFiles(const std::string& folder, const std::vector<std::string>& files) = 0;

  // Environment.
  virtual std::string GetCurrentDirectory() = 0;
  // With its trailing backslash; this user's own folder (see CheckPrivateFolder).
  virtual std::string GetTempPath() = 0;
  // The user's documents folder, created if missing. False when there is none.
  virtual bool GetDocumentsFolder(std::string* path) = 0;
  virtual std::string GetUserName() = 0;
  virtual LocalTime GetLocalTime() = 0;
  // Now, in UTC with the PC's offset; this default knows no offset (UTC itself).
  virtual WallTime GetWallTime();
  // The PC's name on the network; empty when it cannot be told.
  virtual std::string GetHostName() { return std::string(); }
  virtual void Sleep(uint32_t milliseconds) = 0;

  // An exclusive lock known by its name that holds across threads and processes, within this
  // user's session: another account's lock of the same name is another lock. For a lock on a
  // file, the name is the file's Windows path. Waits up to `waitMilliseconds` (kWaitForever:
  // without end) and gives up with nullptr and last error 32 (busy) while another holds it.
  virtual std::unique_ptr<HeldLock> AcquireLock(const std::string& name,
                                                uint32_t waitMilliseconds) = 0;
  // The same, but gives up at once (nullptr) when another holder has it.
  virtual std::unique_ptr<HeldLock> TryAcquireLock(const std::string& name) = 0;

  // Named locks and the temporary folder belong to this user alone (on Windows the session's
  // named objects and the user's own %TEMP%). False, with `why` a sentence naming the folder
  // and what is wrong with it, when they cannot: no job may start then.
  virtual bool CheckPrivateFolder(std::string* why) = 0;
};

inline constexpr uint32_t kWaitForever = 0xFFFFFFFF;

// Where a card's drive lies on a host whose drives are folders (Linux): its mount folder and
// its volume label, so a technician sees that E: is /media/ann/PANEL1. Nothing for the host's
// own drive, nor where a drive is its own host path (Windows).
struct DriveWhereabouts {
  std::string folder;
  std::string label;  // empty when the volume has none
  // "/media/ann/PANEL1  PANEL1", as the drive list and the window's tree show it.
  std::string Text() const { return label.empty() ? folder : folder + "  " + label; }
};
std::optional<DriveWhereabouts> DriveWhere(Platform& platform, const std::string& rootPath);

}  // namespace cw
