#pragma once
// The loops behind CBHelper's CRC-32. All of them compute the same register update as the
// byte-at-a-time definition, h = (h >> 8) ^ table[(h ^ b) & 0xFF], started from the caller's
// register and without the final inversion, so they can be chained and compared.

#include <cstddef>
#include <cstdint>

namespace cw::crc {

// Builds the derived tables from `table` (the 256 entries CBHelper defines) and decides whether
// the carry-less-multiply path may run: only when the CPU has it and it agrees with the
// definition on a self-check. Called once, under CBHelper's table guard.
void Prepare(const uint32_t (&table)[256]);

// One byte, one lookup per step: the definition itself.
uint32_t ByteAtATime(uint32_t h, const unsigned char* data, size_t length);
// Sixteen bytes per step through tables derived from the definition's table (any CPU).
uint32_t Sliced(uint32_t h, const unsigned char* data, size_t length);
// Folding with the CPU's carry-less multiply (x86 PCLMULQDQ), 64 bytes per step; the tail goes
// through Sliced. Returns false and leaves *h alone when the CPU cannot run it.
bool Folded(uint32_t* h, const unsigned char* data, size_t length);
// The fastest of the above that this CPU runs.
uint32_t Fast(uint32_t h, const unsigned char* data, size_t length);

}  // namespace cw::crc
