#include "log/log_to_file.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace cw {
namespace {

// Indexed by cause code.
constexpr const char* kCauseNames[] = {
    "None",
    "Generic",
    "File not found",
    "Bad path",
    "Too many open files",
    "Access denied",
    "Invalid file",
    "Cannot remove working directory",
    "Directory is full",
    "Bad seek",
    "Hardware error",
    "Sharing violation",
    "Lock violation",
    "Disk is full",
    "End of file",
};
constexpr uint32_t kCauseCount = sizeof(kCauseNames) / sizeof(kCauseNames[0]);

constexpr uint32_t kCauseGeneric = 1;

bool TimeIsValid(const LocalTime& t) {
  return t.year > 0 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
         t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
         t.second <= 60;
}

std::string TimestampPrefix(Platform& platform) {
  LocalTime t = platform.GetLocalTime();
  if (!TimeIsValid(t)) {
    // A failed conversion leaves the date at 0 and the time at -1.
    t = LocalTime{};
    t.hour = t.minute = t.second = -1;
  }
  char prefix[64];
  std::snprintf(prefix, sizeof(prefix), "%04d-%02d-%02d %02d:%02d:%02d - ", t.year, t.month,
                t.day, t.hour, t.minute, t.second);
  return prefix;
}

// The file is written in text mode: every line feed reaches the disk as CR LF.
std::string ToTextMode(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Opened the way every log access opens it: created if missing, never truncated, shared.
std::unique_ptr<File> OpenLog(Platform& platform, const std::string& path) {
  return platform.OpenFile(path, OpenMode::OpenAlways);
}

}  // namespace

const char* FileErrorCauseName(uint32_t cause) {
  return cause < kCauseCount ? kCauseNames[cause] : "Unknown";
}

uint32_t FileErrorCauseOf(uint32_t winError) {
  switch (winError) {
    case kErrFileNotFound: return 2;
    case kErrPathNotFound: return 3;
    case kErrAccessDenied: return 5;
    case kErrSharingViolation: return 11;
    case kErrDiskFull: return 13;
    default: return kCauseGeneric;
  }
}

CLogToFile::CLogToFile(Platform& platform) : platform_(platform) {}
// A batch left open (a job that threw past its scope) still gets its lines written.
CLogToFile::~CLogToFile() {
  std::lock_guard<std::mutex> guard(batchMutex_);
  WriteHeldLines();
}

void CLogToFile::SetLogFile(const std::string& path) {
  logPath_ = path;
  hostPath_.clear();
  {
    std::lock_guard<std::mutex> guard(appenderMutex_);
    appender_.reset();
  }
  try {
    fileOk_ = CheckLogFile();
    if (fileOk_) hostPath_ = platform_.ToHostPath(logPath_);
  } catch (...) {
    fileOk_ = false;
    SetErrorText(kCauseGeneric);
  }
}

void CLogToFile::SetEnabled(bool on) { enabled_ = on; }

// A batch's lines are held far below any memory that matters; one that grows past this is
// written early rather than held on.
constexpr size_t kMaxHeldBytes = 64 * 1024;

void CLogToFile::Log(const std::string& message) {
  if (!enabled_ || !fileOk_) return;
  try {
    std::unique_lock<std::mutex> guard(batchMutex_);
    if (batchDepth_ > 0 && batchThread_ == std::this_thread::get_id()) {
      heldLines_ += ToTextMode(TimestampPrefix(platform_) + message + "\n");
      if (heldLines_.size() >= kMaxHeldBytes) WriteHeldLines();
      return;
    }
    WriteHeldLines();
    guard.unlock();
    WriteLine(message);
  } catch (...) {
    // Logging never fails its caller; the line is lost.
  }
}

void CLogToFile::BeginBatch() {
  std::lock_guard<std::mutex> guard(batchMutex_);
  // One thread's batch at a time; another thread's batch while it is open writes line by line.
  if (batchDepth_ > 0 && batchThread_ != std::this_thread::get_id()) return;
  batchThread_ = std::this_thread::get_id();
  ++batchDepth_;
}

void CLogToFile::EndBatch() {
  std::lock_guard<std::mutex> guard(batchMutex_);
  if (batchDepth_ == 0 || batchThread_ != std::this_thread::get_id() || --batchDepth_ > 0) return;
  try {
    WriteHeldLines();
  } catch (...) {
    heldLines_.clear();  // as for a single line: lost, never the caller's failure
  }
}

void CLogToFile::WriteHeldLines() {
  if (heldLines_.empty()) return;
  std::string text;
  text.swap(heldLines_);
  WriteText(text, false);
}

// Once a line was given up, the holder is stuck: a run that may not wait long (one that is
// stopping) then only tries, so that it is not held up line by line.
std::unique_ptr<HeldLock> CLogToFile::TakeLock() {
  if (lockWait_ == nullptr) return platform_.AcquireLock(kLogMutexName, kWaitForever);
  const bool mayWait = lockWait_->KeepWaiting();
  std::unique_ptr<HeldLock> lock =
      platform_.AcquireLock(kLogMutexName, !mayWait && gaveUp_ ? 0 : kLogLockQuietMs);
  if (!lock && GetLastError() == kErrSharingViolation && mayWait) {
    lockWait_->Waiting(true);
    do {
      lock = platform_.AcquireLock(kLogMutexName, kLogLockSliceMs);
    } while (!lock && GetLastError() == kErrSharingViolation && lockWait_->KeepWaiting());
    const uint32_t error = GetLastError();
    lockWait_->Waiting(false);
    SetLastError(lock ? kErrSuccess : error);
  }
  gaveUp_ = !lock && GetLastError() == kErrSharingViolation;
  return lock;
}

void CLogToFile::WriteLine(const std::string& message) { WriteText(message + "\n", true); }

// `text` is one line to stamp now, as the lock is had, or (stampNow false) lines in text mode
// stamped when they were logged.
void CLogToFile::WriteText(const std::string& text, bool stampNow) {
  // Held until the end of this call, on every path out of it. A lock still busy after the
  // wait loses the lines; a lock that cannot be had at all (no private folder) does not.
  std::unique_ptr<HeldLock> lock = TakeLock();
  const uint32_t lockError = lock ? kErrSuccess : GetLastError();
  if (!lock && lockError == kErrSharingViolation) return;
  std::string line = stampNow ? ToTextMode(TimestampPrefix(platform_) + text) : text;
  // A lock the system refuses this instance (one an elevated instance made before its lock
  // let every instance in) is said once in the log: lines may then interleave.
  if (!lock && lockError == kErrAccessDenied && !lockUnavailableLogged_.exchange(true)) {
    line = ToTextMode(TimestampPrefix(platform_) +
                      "  the log's lock cannot be taken (access denied): lines of another "
                      "instance may interleave with these.\n") +
           line;
  }
  AppendToLog(line);
}

// By the path found when the log was set; when a folder on it is gone (renamed or made again
// since), by the path as given, which is looked up afresh. Any other failure loses the text.
void CLogToFile::AppendToLog(const std::string& text) {
  // Without the lock (one that cannot be had) two threads may get here together.
  std::lock_guard<std::mutex> guard(appenderMutex_);
  if (!appender_) appender_ = platform_.OpenAppender(hostPath_.empty() ? logPath_ : hostPath_);
  const auto size = static_cast<uint32_t>(text.size());
  if (appender_->Append(text.data(), size) || hostPath_.empty() ||
      GetLastError() != kErrPathNotFound) {
    return;
  }
  platform_.OpenAppender(logPath_)->Append(text.data(), size);
}

bool CLogToFile::CheckLogFile() {
  std::vector<FindEntry> matches;
  if (platform_.FindFiles(logPath_, &matches)) {
    std::unique_ptr<File> file = OpenLog(platform_, logPath_);
    if (!file) {
      SetErrorText(FileErrorCauseOf(GetLastError()));
      return false;
    }
    if (!file->Close()) {
      SetErrorText(FileErrorCauseOf(GetLastError()));
      return false;
    }
    return true;
  }

  // Create only a file that is really missing: another instance that created the log since the
  // test above keeps it (deleting it would lose its lines).
  std::unique_ptr<File> file = platform_.OpenFile(logPath_, OpenMode::CreateNew);
  if (!file) {
    const uint32_t error = GetLastError();
    if (error == kErrFileExists || error == kErrAlreadyExists) {
      file = OpenLog(platform_, logPath_);
      if (file && file->Close()) return true;
    }
    SetErrorText(FileErrorCauseOf(GetLastError()));
    return false;
  }
  static const char kDummy[] = "Dummy text";
  bool ok = file->Write(kDummy, sizeof(kDummy) - 1);
  uint32_t error = ok ? 0 : GetLastError();
  if (ok && !file->Close()) {
    ok = false;
    error = GetLastError();
  }
  file.reset();
  // The probe leaves no file behind, also when it failed halfway.
  if (!platform_.DeleteFile(logPath_) && ok) {
    ok = false;
    error = GetLastError();
  }
  if (!ok) SetErrorText(FileErrorCauseOf(error));
  return ok;
}

void CLogToFile::SetErrorText(uint32_t cause) { errorText_ = FileErrorCauseName(cause); }

}  // namespace cw
