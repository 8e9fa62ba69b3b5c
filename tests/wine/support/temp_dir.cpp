// The Windows build's TempDir: the same contract as tests/support/temp_dir.cpp, made with
// std::filesystem only (MinGW has no mkdtemp).
#include "support/temp_dir.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace cw::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::mt19937_64 random(static_cast<uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count()));
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "cardwright-test-" << std::hex << (random() & 0xFFFFFFFFFFull);
    std::error_code ec;
    if (fs::create_directory(base / name.str(), ec)) {
      path_ = (base / name.str()).string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests make read-only files; Windows deletes none of those, so clear the flag first.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code ignored;
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::Sub(const std::string& relative) const { return path_ + "/" + relative; }

std::string TempDir::Write(const std::string& relative, const std::string& content) const {
  const fs::path file = Sub(relative);
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + file.string());
  return file.string();
}

std::string TempDir::Read(const std::string& relative) const {
  std::ifstream in(Sub(relative), std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace cw::test
