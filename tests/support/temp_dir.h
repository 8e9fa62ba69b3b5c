#pragma once
// A unique folder under the temporary folder for one test, removed with everything in it when
// the test ends; and the host-file helpers every test uses to lay and read files outside the
// platform (one implementation for Linux and the Windows builds).

#include <map>
#include <string>

namespace cw::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's host path, without a trailing slash.
  const std::string& path() const { return path_; }
  // path() + "/" + relative.
  std::string Sub(const std::string& relative) const;
  // Writes `content` to Sub(relative), creating the folders on the way; returns its host path.
  std::string Write(const std::string& relative, const std::string& content) const;
  // The content of Sub(relative), empty when it cannot be read.
  std::string Read(const std::string& relative) const;

 private:
  std::string path_;
};

// The content of the host file `path`, empty when it cannot be read.
std::string ReadHostFile(const std::string& path);
// Writes `content` to the host file `path`, creating the folders on the way; false when it
// cannot be written.
bool WriteHostFile(const std::string& path, const std::string& content);
// Every file below the host folder `root`, by its path relative to it ('/' between folders),
// with its content; empty when `root` does not exist.
std::map<std::string, std::string> HostFiles(const std::string& root);

}  // namespace cw::test
