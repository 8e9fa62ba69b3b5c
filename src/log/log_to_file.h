#pragma once
// The diagnostic log: timestamped lines appended to one file, each written in one write under a
// lock that holds across threads and processes, so the file is complete after every line and
// lines never interleave; the file is kept open while its path still names it. Inside a batch
// (LogBatch) a thread's lines are kept in order and written together, under one lock, when the
// batch ends.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace cw {

class Appender;
class File;
class HeldLock;
class Platform;

// The log's system-wide lock, asked for by this name: every line of every instance is written
// whole under it (a named mutex on Windows, a named lock file on POSIX). No other lock shares it.
inline constexpr const char* kLogMutexName = "B_LOGTOFILE_MUTEX";

// Names of the file-layer error causes, as SetErrorText stores them (0..14, else "Unknown").
const char* FileErrorCauseName(uint32_t cause);
// The file-layer cause code of a Windows error number (unknown numbers are 1, "Generic").
uint32_t FileErrorCauseOf(uint32_t winError);

// How a run follows a line that waits long for the log's lock (another run of this user holds
// it, perhaps stopped or hung). A line waits kLogLockQuietMs without a word; then, if
// KeepWaiting says yes, Waiting(true) is called and the line waits on, asking KeepWaiting
// about ten times a second, until the lock comes (kept) or KeepWaiting says no (the line is
// lost); Waiting(false) ends that wait. Called on the thread that logs.
class LogLockWait {
 public:
  virtual ~LogLockWait() = default;
  virtual void Waiting(bool waiting) = 0;
  virtual bool KeepWaiting() = 0;
};

inline constexpr uint32_t kLogLockQuietMs = 3000;
inline constexpr uint32_t kLogLockSliceMs = 100;

class CLogToFile {
 public:
  // Every line is written through `platform`, which outlives the log.
  explicit CLogToFile(Platform& platform);
  virtual ~CLogToFile();
  CLogToFile(const CLogToFile&) = delete;
  CLogToFile& operator=(const CLogToFile&) = delete;

  void SetLogFile(const std::string& path);
  void SetEnabled(bool on);
  // Without one (tests, tools), a line waits for the lock without end.
  void SetLockWait(LogLockWait* wait) { lockWait_ = wait; }
  void Log(const std::string& message);
  // A batch of the calling thread's lines: held back from BeginBatch to the matching EndBatch
  // (batches nest; the outermost end writes), then written in one piece under one lock. A
  // line of another thread first writes what the batch holds, so the file keeps the order in
  // which lines were logged. A crash loses only the lines of the batch still open.
  void BeginBatch();
  void EndBatch();

  bool fileOk() const { return fileOk_; }
  bool enabled() const { return enabled_; }
  const std::string& errorText() const { return errorText_; }
  const std::string& logPath() const { return logPath_; }

 private:
  void WriteLine(const std::string& message);
  void WriteText(const std::string& text, bool stampNow);
  void WriteHeldLines();  // with batchMutex_ held
  std::unique_ptr<HeldLock> TakeLock();
  void AppendToLog(const std::string& text);
  bool CheckLogFile();
  void SetErrorText(uint32_t cause);

  Platform& platform_;
  bool fileOk_ = false;
  bool enabled_ = false;
  std::string errorText_;
  std::string logPath_;
  // logPath_ as the host names it, found once when the path is set: the data folder's path
  // is upper-cased, and matching it folder by folder for every line cost more than the line.
  std::string hostPath_;
  LogLockWait* lockWait_ = nullptr;
  std::atomic<bool> gaveUp_{false};  // the last line's wait was given up
  std::atomic<bool> lockUnavailableLogged_{false};
  std::mutex batchMutex_;
  int batchDepth_ = 0;
  std::thread::id batchThread_;
  std::string heldLines_;  // in text mode, each stamped when it was logged
  std::mutex appenderMutex_;
  std::unique_ptr<Appender> appender_;  // made at the first write after SetLogFile
};

// One batch of the log's lines for a scope (no log: nothing); ends on every path out of it.
class LogBatch {
 public:
  explicit LogBatch(CLogToFile* log) : log_(log) {
    if (log_ != nullptr) log_->BeginBatch();
  }
  ~LogBatch() {
    if (log_ != nullptr) log_->EndBatch();
  }
  LogBatch(const LogBatch&) = delete;
  LogBatch& operator=(const LogBatch&) = delete;

 private:
  CLogToFile* log_;
};

}  // namespace cw
