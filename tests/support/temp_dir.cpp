#include "support/temp_dir.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace cw::test {

namespace fs = std::filesystem;

// std::filesystem only, as MinGW has no mkdtemp: create_directory fails on a name that exists,
// so the folder is this test's own; closed to others as mkdtemp's is (the platform keeps its
// named locks only in a private folder).
TempDir::TempDir() {
  std::random_device device;
  std::mt19937_64 random((uint64_t(device()) << 32) ^
                         uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "cardwright-test-" << std::hex << (random() & 0xFFFFFFFFFFull);
    std::error_code ec;
    if (fs::create_directory(base / name.str(), ec)) {
      path_ = (base / name.str()).string();
      fs::permissions(path_, fs::perms::owner_all, fs::perm_options::replace, ec);
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests make read-only files and folders: give the owner write access back first (Windows
  // deletes no read-only file, Linux nothing in a read-only folder). Links are not followed.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code ignored;
    if (it->is_symlink(ignored)) continue;
    const fs::perms access =
        it->is_directory(ignored) ? fs::perms::owner_all : fs::perms::owner_write;
    fs::permissions(it->path(), access, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::Sub(const std::string& relative) const { return path_ + "/" + relative; }

std::string TempDir::Write(const std::string& relative, const std::string& content) const {
  const std::string file = Sub(relative);
  if (!WriteHostFile(file, content)) throw std::runtime_error("cannot write " + file);
  return file;
}

std::string TempDir::Read(const std::string& relative) const { return ReadHostFile(Sub(relative)); }

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool WriteHostFile(const std::string& path, const std::string& content) {
  const fs::path file(path);
  std::error_code ec;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out.flush());
}

std::map<std::string, std::string> HostFiles(const std::string& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    files[fs::relative(entry.path(), root).generic_string()] =
        ReadHostFile(entry.path().string());
  }
  return files;
}

}  // namespace cw::test
