#include "package/crc_list_writer.h"

namespace cw {
namespace {

void PutUInt32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

}  // namespace

std::string BuildCRCList(const std::vector<CRCListEntry>& entries) {
  std::string out;
  PutUInt32(out, static_cast<uint32_t>(entries.size()));
  out += "\r\n\r\n";
  for (const CRCListEntry& entry : entries) {
    out += entry.path;
    out += "\r\n";
    PutUInt32(out, entry.crc);
    out += "\r\n\r\n";
  }
  out += '\xFF';
  return out;
}

}  // namespace cw
