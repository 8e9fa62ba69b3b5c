#include "platform/platform.h"

#include <chrono>
#include <memory>
#include <string>
#include <utility>

namespace cw {

namespace {

thread_local uint32_t t_lastError = kErrSuccess;

}  // namespace

uint32_t GetLastError() { return t_lastError; }

void SetLastError(uint32_t error) { t_lastError = error; }

std::optional<DriveWhereabouts> DriveWhere(Platform& platform, const std::string& rootPath) {
  const std::string folder = platform.DriveHostPath(rootPath);
  if (folder.empty() || folder == "/" || folder.find(':') != std::string::npos) return std::nullopt;
  DriveWhereabouts where{folder, {}};
  platform.GetVolumeInformation(rootPath, &where.label, nullptr);
  return where;
}

namespace {

class ReopeningAppender final : public Appender {
 public:
  ReopeningAppender(Platform& platform, std::string path)
      : platform_(platform), path_(std::move(path)) {}
  bool Append(const void* data, uint32_t size) override {
    std::unique_ptr<File> file = platform_.OpenFile(path_, OpenMode::OpenAlways);
    return file && file->Seek(0, SeekFrom::End) && file->Write(data, size) && file->Close();
  }

 private:
  Platform& platform_;
  std::string path_;
};

}  // namespace

std::unique_ptr<Appender> Platform::OpenAppender(const std::string& path) {
  return std::make_unique<ReopeningAppender>(*this, path);
}

WallTime Platform::GetWallTime() {
  using namespace std::chrono;
  WallTime now;
  now.unixMilliseconds =
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  return now;
}

}  // namespace cw
