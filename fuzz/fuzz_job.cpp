#include "fuzz_job.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/package_parser.h"

namespace cw::fuzz {

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

std::string WithMatchingCrc(std::string package) {
  if (package.size() < 4) return package;
  std::vector<uint8_t> bytes(package.begin(), package.end());
  const uint32_t crc = PackageCrcOf(bytes.data(), bytes.size());
  for (int i = 0; i < 4; ++i) package[i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
  return package;
}

ModeAndData Split(const uint8_t* data, size_t size) {
  ModeAndData out;
  if (size == 0) return out;
  out.mode = data[0];
  out.data.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  return out;
}

std::string Seed(uint8_t mode, const std::string& data) {
  return std::string(1, static_cast<char>(mode)) + data;
}

}  // namespace cw::fuzz
