#pragma once
// The diagnostic log: timestamped lines appended to one file, each written by open, seek, write
// and close under a lock that holds across threads and processes, so the file is complete
// after every line and lines never interleave.

#include <cstdint>
#include <memory>
#include <string>

namespace cw {

class File;

// The log's system-wide lock, asked for by this name: every line of every instance is written
// whole under it (a named mutex on Windows, a named lock file on POSIX). No other lock shares it.
inline constexpr const char* kLogMutexName = "B_LOGTOFILE_MUTEX";

// Names of the file-layer error causes, as SetErrorText stores them (0..14, else "Unknown").
const char* FileErrorCauseName(uint32_t cause);
// The file-layer cause code of a Windows error number (unknown numbers are 1, "Generic").
uint32_t FileErrorCauseOf(uint32_t winError);

class CLogToFile {
 public:
  CLogToFile();
  virtual ~CLogToFile();
  CLogToFile(const CLogToFile&) = delete;
  CLogToFile& operator=(const CLogToFile&) = delete;

  void SetLogFile(const std::string& path);
  void SetEnabled(bool on);
  void Log(const std::string& message);

  bool fileOk() const { return fileOk_; }
  bool enabled() const { return enabled_; }
  const std::string& errorText() const { return errorText_; }
  const std::string& logPath() const { return logPath_; }

 private:
  void WriteLine(const std::string& message);
  std::unique_ptr<File> OpenForLine() const;
  bool CheckLogFile();
  void SetErrorText(uint32_t cause);

  bool fileOk_ = false;
  bool enabled_ = false;
  std::string errorText_;
  std::string logPath_;
  // logPath_ as the system names it, found once when the path is set: the data folder's path
  // is upper-cased, and matching it folder by folder for every line cost more than the line.
  std::string hostPath_;
};

}  // namespace cw
