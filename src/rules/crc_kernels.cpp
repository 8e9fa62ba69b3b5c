#include "rules/crc_kernels.h"

#include <initializer_list>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define CW_CRC_FOLDING 1
#include <immintrin.h>
#endif

namespace cw::crc {
namespace {

constexpr int kSlice = 16;
// Slice[0] is the definition's table. Slice[k][b] is the register after byte b is followed by
// k zero bytes, so one block's bytes can be looked up independently and combined by XOR.
uint32_t Slice[kSlice][256];
bool foldingUsable = false;

uint32_t Load32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

#ifdef CW_CRC_FOLDING
#define CW_FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

CW_FOLD_TARGET inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// a·k_low ⊕ a·k_high: moves a 128-bit remainder forward past the folding distance.
CW_FOLD_TARGET inline __m128i Fold(__m128i a, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11));
}

// Folds 16-byte blocks of `data` (length a multiple of 16, at least 64) into the register and
// reduces the rest to 32 bits (Gopal et al., "Fast CRC Computation for Generic Polynomials Using
// PCLMULQDQ", constants for the reflected polynomial 0xEDB88320).
CW_FOLD_TARGET uint32_t FoldBlocks(uint32_t h, const unsigned char* data, size_t length) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);  // x^(4·128 ± 32) mod P
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);  // x^(128 ± 32) mod P
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);               // x^64 mod P
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);  // P' and Barrett's µ
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

  __m128i x1 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(h)));
  __m128i x2 = Load(data + 16), x3 = Load(data + 32), x4 = Load(data + 48);
  data += 64;
  length -= 64;
  while (length >= 64) {
    x1 = _mm_xor_si128(Fold(x1, k1k2), Load(data));
    x2 = _mm_xor_si128(Fold(x2, k1k2), Load(data + 16));
    x3 = _mm_xor_si128(Fold(x3, k1k2), Load(data + 32));
    x4 = _mm_xor_si128(Fold(x4, k1k2), Load(data + 48));
    data += 64;
    length -= 64;
  }
  x1 = _mm_xor_si128(Fold(x1, k3k4), x2);
  x1 = _mm_xor_si128(Fold(x1, k3k4), x3);
  x1 = _mm_xor_si128(Fold(x1, k3k4), x4);
  while (length >= 16) {
    x1 = _mm_xor_si128(Fold(x1, k3k4), Load(data));
    data += 16;
    length -= 16;
  }

  // 128 bits to 64, then Barrett reduction to 32.
  x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), x2);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, low32), poly, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool CpuCanFold() { return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"); }
#endif

// Lengths around every boundary of the folding loop, at every alignment of a 16-byte step.
bool FoldingAgrees() {
  unsigned char sample[1024 + 16];
  uint32_t v = 0x12345678u;
  for (unsigned char& b : sample) {
    v = v * 1103515245u + 12345u;
    b = static_cast<unsigned char>(v >> 23);
  }
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length : {64, 79, 80, 127, 128, 200, 1024}) {
      uint32_t folded = 0xFFFFFFFFu;
      if (!Folded(&folded, sample + offset, length)) return false;
      if (folded != ByteAtATime(0xFFFFFFFFu, sample + offset, length)) return false;
    }
  }
  return true;
}

}  // namespace

void Prepare(const uint32_t (&table)[256]) {
  for (int b = 0; b < 256; ++b) Slice[0][b] = table[b];
  for (int k = 1; k < kSlice; ++k) {
    for (int b = 0; b < 256; ++b) {
      const uint32_t prev = Slice[k - 1][b];
      Slice[k][b] = (prev >> 8) ^ Slice[0][prev & 0xFF];
    }
  }
#ifdef CW_CRC_FOLDING
  foldingUsable = CpuCanFold();
  foldingUsable = foldingUsable && FoldingAgrees();
#endif
}

uint32_t ByteAtATime(uint32_t h, const unsigned char* data, size_t length) {
  for (size_t i = 0; i < length; ++i) h = (h >> 8) ^ Slice[0][(h ^ data[i]) & 0xFF];
  return h;
}

uint32_t Sliced(uint32_t h, const unsigned char* data, size_t length) {
  for (; length >= kSlice; length -= kSlice, data += kSlice) {
    // The register joins the block's first four bytes; every byte's lookup is already shifted
    // past the bytes that follow it in the block.
    const uint32_t w0 = Load32(data) ^ h, w1 = Load32(data + 4), w2 = Load32(data + 8),
                   w3 = Load32(data + 12);
    h = Slice[15][w0 & 0xFF] ^ Slice[14][(w0 >> 8) & 0xFF] ^ Slice[13][(w0 >> 16) & 0xFF] ^
        Slice[12][w0 >> 24] ^ Slice[11][w1 & 0xFF] ^ Slice[10][(w1 >> 8) & 0xFF] ^
        Slice[9][(w1 >> 16) & 0xFF] ^ Slice[8][w1 >> 24] ^ Slice[7][w2 & 0xFF] ^
        Slice[6][(w2 >> 8) & 0xFF] ^ Slice[5][(w2 >> 16) & 0xFF] ^ Slice[4][w2 >> 24] ^
        Slice[3][w3 & 0xFF] ^ Slice[2][(w3 >> 8) & 0xFF] ^ Slice[1][(w3 >> 16) & 0xFF] ^
        Slice[0][w3 >> 24];
  }
  return ByteAtATime(h, data, length);
}

bool Folded(uint32_t* h, const unsigned char* data, size_t length) {
#ifdef CW_CRC_FOLDING
  if (!CpuCanFold()) return false;
  if (length >= 64) {
    const size_t blocks = length & ~size_t{15};
    *h = FoldBlocks(*h, data, blocks);
    data += blocks;
    length -= blocks;
  }
  *h = Sliced(*h, data, length);
  return true;
#else
  (void)h;
  (void)data;
  (void)length;
  return false;
#endif
}

uint32_t Fast(uint32_t h, const unsigned char* data, size_t length) {
  if (foldingUsable && Folded(&h, data, length)) return h;
  return Sliced(h, data, length);
}

}  // namespace cw::crc
