#pragma once
// SHA-256, taken piece by piece: the card journal chains its lines with it and records each
// package's digest. The host's own library does the work (nettle on POSIX, BCrypt on Windows).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace cw {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Add(const void* data, size_t size);
  // The digest of everything added; the hash starts afresh after it.
  Sha256Digest Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// 64 lower-case hex digits.
std::string HexOf(const Sha256Digest& digest);
std::string Sha256Hex(std::string_view bytes);

}  // namespace cw
