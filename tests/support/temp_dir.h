#pragma once
// A unique folder under /tmp for one test, removed with everything in it when the test ends.

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

}  // namespace cw::test
