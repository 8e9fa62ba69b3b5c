// The floor of a store job and of a verify-only job: everything each must do, done plainly in
// one process, with nothing else (no log, no listings beyond the card's own, no checks of the
// package's table). Plain POSIX and zlib, independent of the program under test.
//
//   bench_baseline store PACKAGE RECORDS CARD BACKUP [COPY]
//       read PACKAGE once and check its CRC-32; copy every file of the old CARD into the folder
//       BACKUP and delete it from the card; inflate every file of RECORDS (made by
//       bench_make_reference) from the bytes in memory and write it below CARD; with COPY,
//       write the package's bytes to CARD/COPY as well; sync the card's file system once, drop
//       the card's cached pages; read every file written back whole and compare its CRC-32
//   bench_baseline verify PACKAGE RECORDS CARD
//       check the package's CRC-32; drop the card's cached pages; read back and compare
//   bench_baseline evict DIR                    only the sync and the dropping of cached pages
//   bench_baseline coldread RECORDS CARD
//       drop the card's cached pages (untimed), then read every file of RECORDS whole and
//       compare its CRC-32 in one plain loop; prints that loop's seconds on standard output
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

// The whole package in memory, its CRC-32 (the first four bytes, which hold it, taken as
// zero) checked against the one it keeps.
bool ReadPackage(const std::string& package, std::vector<unsigned char>* bytes) {
  const int in = ::open(package.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (in < 0 || ::fstat(in, &st) != 0) return Fail("cannot open " + package);
  bytes->resize(size_t(st.st_size));
  if (!ReadAll(in, bytes->data(), bytes->size())) return Fail("cannot read " + package);
  ::close(in);
  if (bytes->size() < 4) return Fail("no package: " + package);
  const uint32_t stored = uint32_t((*bytes)[0]) | uint32_t((*bytes)[1]) << 8 |
                          uint32_t((*bytes)[2]) << 16 | uint32_t((*bytes)[3]) << 24;
  const unsigned char zero[4] = {};
  uLong crc = crc32(0L, zero, 4);
  crc = crc32_z(crc, bytes->data() + 4, bytes->size() - 4);
  if (uint32_t(crc) != stored) {
    std::cerr << "bench_baseline: the package's CRC-32 does not hold\n";
    return false;
  }
  return true;
}

bool WriteFile(const std::string& path, const unsigned char* data, size_t size) {
  const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return Fail("cannot create " + path);
  if (!WriteAll(out, data, size)) return Fail("cannot write " + path);
  return ::close(out) == 0 || Fail("cannot close " + path);
}

// Every file of the old card copied into `backup` (its folders made on the way), then
// deleted from the card.
bool BackUpAndDelete(const std::string& card, const std::string& backup) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(card))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::set<fs::path> folders;
  std::vector<unsigned char> buffer;
  for (const fs::path& file : files) {
    const fs::path target = fs::path(backup) / fs::relative(file, card);
    if (folders.insert(target.parent_path()).second) fs::create_directories(target.parent_path());
    const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (in < 0 || ::fstat(in, &st) != 0) return Fail("cannot open " + file.string());
    buffer.resize(size_t(st.st_size));
    if (!ReadAll(in, buffer.data(), buffer.size())) return Fail("cannot read " + file.string());
    ::close(in);
    if (!WriteFile(target.string(), buffer.data(), buffer.size())) return false;
  }
  for (const fs::path& file : files)
    if (::unlink(file.c_str()) != 0) return Fail("cannot delete " + file.string());
  return true;
}

bool Extract(const std::vector<unsigned char>& package, const std::vector<Record>& records,
             const std::string& card) {
  std::set<std::string> folders;
  std::vector<unsigned char> inflated;
  for (const Record& r : records) {
    if (r.offset + r.storedSize > package.size()) return Fail("record outside: " + r.path);
    const unsigned char* content = package.data() + r.offset;
    if (!r.raw) {
      inflated.resize(r.fileSize + 1);
      uLongf size = r.fileSize;
      if (uncompress(inflated.data(), &size, content, r.storedSize) != Z_OK ||
          size != r.fileSize) {
        return Fail("cannot inflate " + r.path);
      }
      content = inflated.data();
    }
    const std::string path = card + "/" + r.path;
    const std::string folder = fs::path(path).parent_path().string();
    if (folders.insert(folder).second) fs::create_directories(folder);
    if (!WriteFile(path, content, r.fileSize)) return false;
  }
  return true;
}

// What the program's dismount of a folder card does: sync the file system once, then drop the
// cached pages of every file, so the read-back comes from the disk.
bool Evict(const std::string& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0 || ::syncfs(dir) != 0) return Fail("cannot sync " + folder);
  ::close(dir);
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
  return true;
}

// Each file read whole in one buffer, as the program's checksum does, then crc32().
bool ReadBack(const std::vector<Record>& records, const std::string& card) {
  std::vector<unsigned char> buffer;
  for (const Record& r : records) {
    const std::string path = card + "/" + r.path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return Fail("cannot open " + path);
    const size_t size = size_t(st.st_size);
    buffer.resize(size + 1);
    if (!ReadAll(fd, buffer.data(), size)) return Fail("cannot read " + path);
    ::close(fd);
    const uint32_t crc = uint32_t(crc32_z(0L, buffer.data(), size));
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
  std::vector<unsigned char> package;
  auto t = std::chrono::steady_clock::now();
  auto lap = [&t] {
    const double seconds = Since(t);
    t = std::chrono::steady_clock::now();
    return seconds;
  };
  if (mode == "store" && (argc == 6 || argc == 7)) {
    const std::string card = argv[4];
    if (!ReadRecords(argv[3], &records)) return Fail("cannot read the records"), 1;
    if (!ReadPackage(argv[2], &package)) return 1;
    const double check = lap();
    if (!BackUpAndDelete(card, argv[5])) return 1;
    const double backup = lap();
    if (!Extract(package, records, card)) return 1;
    if (argc == 7) {
      const std::string copy = card + "/" + argv[6];
      if (!WriteFile(copy, package.data(), package.size())) return 1;
      // Read back as the other files are, against the CRC-32 of the bytes written.
      records.push_back({0, package.size(), package.size(), true,
                         uint32_t(crc32_z(0L, package.data(), package.size())), argv[6]});
    }
    const double extract = lap();
    if (!Evict(card)) return 1;
    const double evict = lap();
    if (!ReadBack(records, card)) return 1;
    std::fprintf(stderr,
                 "package check %.3f s, backup+delete %.3f s, extract %.3f s, sync+drop %.3f s, "
                 "read+crc %.3f s\n",
                 check, backup, extract, evict, lap());
    return 0;
  }
  if (mode == "verify" && argc == 5) {
    if (!ReadRecords(argv[3], &records)) return Fail("cannot read the records"), 1;
    if (!ReadPackage(argv[2], &package)) return 1;
    const double check = lap();
    if (!Evict(argv[4])) return 1;
    const double evict = lap();
    if (!ReadBack(records, argv[4])) return 1;
    std::fprintf(stderr, "package check %.3f s, sync+drop %.3f s, read+crc %.3f s\n", check,
                 evict, lap());
    return 0;
  }
  if (mode == "evict" && argc == 3) return Evict(argv[2]) ? 0 : 1;
  if (mode == "coldread" && argc == 4) {
    if (!ReadRecords(argv[2], &records)) return Fail("cannot read the records"), 1;
    if (!Evict(argv[3])) return 1;
    lap();
    if (!ReadBack(records, argv[3])) return 1;
    std::printf("%.4f\n", lap());
    return 0;
  }
  std::cerr << "usage: bench_baseline store PACKAGE RECORDS CARD BACKUP [COPY] | "
               "verify PACKAGE RECORDS CARD | evict DIR | coldread RECORDS CARD\n";
  return 2;
}
