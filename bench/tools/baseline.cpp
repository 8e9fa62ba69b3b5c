// The irreducible work of a store job and of a verify-only job, with nothing else: no checks,
// no log, no backup, no listings. Plain POSIX and zlib, independent of the program under test.
//
//   bench_baseline store PACKAGE RECORDS CARD   inflate every file of RECORDS (made by
//                       bench_make_reference) from PACKAGE, write it below CARD, flush and evict
//                       the card as the program's dismount does, read every file back whole and
//                       compare its CRC-32 (zlib's crc32())
//   bench_baseline verify RECORDS CARD          only the read-back and CRC-32
//   bench_baseline evict DIR                    only the flush and eviction
//
// Prints the seconds of each phase on standard error; exits 1 on any failure or mismatch.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Record {
  uint64_t offset = 0, storedSize = 0, fileSize = 0;
  bool raw = false;
  uint32_t crc = 0;
  std::string path;
};

bool ReadRecords(const std::string& file, std::vector<Record>* records) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Record r;
    int raw = 0;
    if (!(fields >> r.offset >> r.storedSize >> r.fileSize >> raw >> r.crc)) return false;
    fields.get();  // the tab before the path, which may hold blanks
    std::getline(fields, r.path);
    r.raw = raw != 0;
    records->push_back(r);
  }
  return !records->empty();
}

bool Fail(const std::string& what) {
  std::cerr << "bench_baseline: " << what << " (" << std::strerror(errno) << ")\n";
  return false;
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

bool ReadAll(int fd, unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::read(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

bool Extract(const std::string& package, const std::vector<Record>& records,
             const std::string& card) {
  const int in = ::open(package.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail("cannot open " + package);
  std::set<std::string> folders;
  for (const Record& r : records) {
    std::unique_ptr<unsigned char[]> stored(new unsigned char[r.storedSize + 1]);
    if (::pread(in, stored.get(), r.storedSize, off_t(r.offset)) != ssize_t(r.storedSize)) {
      return Fail("short read of " + r.path);
    }
    std::unique_ptr<unsigned char[]> inflated;
    const unsigned char* content = stored.get();
    if (!r.raw) {
      inflated.reset(new unsigned char[r.fileSize + 1]);
      uLongf size = r.fileSize;
      if (uncompress(inflated.get(), &size, stored.get(), r.storedSize) != Z_OK ||
          size != r.fileSize) {
        return Fail("cannot inflate " + r.path);
      }
      content = inflated.get();
    }
    const std::string path = card + "/" + r.path;
    const std::string folder = fs::path(path).parent_path().string();
    if (folders.insert(folder).second) fs::create_directories(folder);
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) return Fail("cannot create " + path);
    if (!WriteAll(out, content, r.fileSize)) return Fail("cannot write " + path);
    ::close(out);
  }
  ::close(in);
  return true;
}

// What the program's dismount of a folder card does: sync the file system, then flush and
// drop the cached pages of every file, so the read-back comes from the disk.
bool Evict(const std::string& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0 || ::syncfs(dir) != 0) return Fail("cannot sync " + folder);
  ::close(dir);
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    if (::fsync(fd) != 0) return Fail("cannot flush " + entry.path().string());
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
  return true;
}

// Each file read whole in one buffer, as the program's checksum does, then crc32().
bool ReadBack(const std::vector<Record>& records, const std::string& card) {
  for (const Record& r : records) {
    const std::string path = card + "/" + r.path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return Fail("cannot open " + path);
    const size_t size = size_t(st.st_size);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[size + 1]);
    if (!ReadAll(fd, buffer.get(), size)) return Fail("cannot read " + path);
    ::close(fd);
    const uint32_t crc = uint32_t(crc32(0L, buffer.get(), uInt(size)));
    if (crc != r.crc || size != r.fileSize) {
      std::cerr << "bench_baseline: CRC mismatch on " << path << "\n";
      return false;
    }
  }
  return true;
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  std::vector<Record> records;
  auto t = std::chrono::steady_clock::now();
  if (mode == "store" && argc == 5) {
    if (!ReadRecords(argv[3], &records)) return Fail("cannot read the records"), 1;
    if (!Extract(argv[2], records, argv[4])) return 1;
    const double extract = Since(t);
    t = std::chrono::steady_clock::now();
    if (!Evict(argv[4])) return 1;
    const double evict = Since(t);
    t = std::chrono::steady_clock::now();
    if (!ReadBack(records, argv[4])) return 1;
    std::fprintf(stderr, "extract %.3f s, flush+evict %.3f s, read+crc %.3f s\n", extract, evict,
                 Since(t));
    return 0;
  }
  if (mode == "verify" && argc == 4) {
    if (!ReadRecords(argv[2], &records)) return Fail("cannot read the records"), 1;
    if (!ReadBack(records, argv[3])) return 1;
    std::fprintf(stderr, "read+crc %.3f s\n", Since(t));
    return 0;
  }
  if (mode == "evict" && argc == 3) return Evict(argv[2]) ? 0 : 1;
  std::cerr << "usage: bench_baseline store PACKAGE RECORDS CARD | verify RECORDS CARD | "
               "evict DIR\n";
  return 2;
}
