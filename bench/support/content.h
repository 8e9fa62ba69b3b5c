#pragma once
// Deterministic file content for the benchmarks, in the three sorts a firmware release holds:
// text (configuration, scripts, help: compresses about 3:1), machine code and tables (about
// 2:1) and media that is already compressed (does not shrink). Same seed, same bytes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace cwbench {

enum class ContentSort { kText, kCode, kRandom };

std::string MakeContent(ContentSort sort, size_t size, uint64_t seed);

// A small fast generator (splitmix64), shared so every tool draws the same numbers.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n).
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

 private:
  uint64_t state_;
};

}  // namespace cwbench
