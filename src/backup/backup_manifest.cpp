#include "backup/backup_manifest.h"

#include <cstdio>
#include <memory>
#include <sstream>

#include "platform/platform.h"
#include "record/job_state.h"
#include "platform/text.h"
#include "rules/bhelper.h"

namespace cw {

namespace {

constexpr const char* kFirstLine = "Cardwright backup manifest 1";
// A manifest is a few hundred bytes a file; anything larger is not one.
constexpr uint64_t kMaxManifestBytes = 64ull << 20;

// One line's value: control characters would break the line structure.
std::string OneLine(const std::string& text) {
  std::string line = text;
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return line;
}

bool TakeField(std::istream& in, const std::string& key, std::string* value) {
  std::string line;
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::string prefix = key + ": ";
  if (line.rfind(prefix, 0) != 0) return false;
  *value = line.substr(prefix.size());
  return true;
}

bool ParseUnsigned(const std::string& text, int base, uint64_t limit, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (digit < 0 || v > (limit - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base))
      return false;
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  *value = v;
  return true;
}

bool ParseSerial(const std::string& text, uint32_t* serial) {
  if (text == "unknown") return *serial = 0, true;
  uint64_t value = 0;
  if (text.size() != 9 || text[4] != '-') return false;
  if (!ParseUnsigned(text.substr(0, 4) + text.substr(5), 16, 0xFFFFFFFFu, &value)) return false;
  *serial = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

uint64_t BackupManifest::TotalBytes() const {
  uint64_t total = 0;
  for (const BackupManifestFile& file : files) total += file.size;
  return total;
}

std::string BackupManifestName(const std::string& backupFolder) {
  return backupFolder + ".manifest";
}

const char* KindText(int32_t targetType) {
  switch (targetType) {
    case 1: return "Engine";
    case 2: return "Panel 3940";
    case 3: return "Panel 3950";
    default: return "Unknown";
  }
}

std::string ComposeManifest(const BackupManifest& m) {
  std::string text = std::string(kFirstLine) + "\r\n";
  text += "Kind: " + std::string(KindText(m.targetType)) + "\r\n";
  text += "Card serial: " + SerialText(m.cardSerial) + "\r\n";
  text += "Card label: " + OneLine(m.cardLabel) + "\r\n";
  text += Format("Card bytes: %llu\r\n", static_cast<unsigned long long>(m.cardBytes));
  text += "Date: " + OneLine(m.date) + "\r\n";
  text += "Program: " + OneLine(m.programVersion) + "\r\n";
  text += "Package versions: " + OneLine(m.packageVersions) + "\r\n";
  text += Format("Files: %zu\r\n", m.files.size());
  for (const BackupManifestFile& file : m.files) {
    text += Format("File: %llu %08X ", static_cast<unsigned long long>(file.size), file.crc) +
            OneLine(file.path) + "\r\n";
  }
  text += "End\r\n";
  return text;
}

std::optional<BackupManifest> ParseManifest(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || (line != kFirstLine && line != std::string(kFirstLine) + "\r"))
    return std::nullopt;
  BackupManifest m;
  std::string kind, serial, count, bytes;
  if (!TakeField(in, "Kind", &kind) || !TakeField(in, "Card serial", &serial) ||
      !TakeField(in, "Card label", &m.cardLabel))
    return std::nullopt;
  // "Card bytes" came later: a manifest without it goes on with its date.
  const std::streampos afterLabel = in.tellg();
  if (TakeField(in, "Card bytes", &bytes)) {
    if (!ParseUnsigned(bytes, 10, UINT64_MAX, &m.cardBytes)) return std::nullopt;
  } else {
    in.clear();
    in.seekg(afterLabel);
  }
  if (!TakeField(in, "Date", &m.date) ||
      !TakeField(in, "Program", &m.programVersion) ||
      !TakeField(in, "Package versions", &m.packageVersions) || !TakeField(in, "Files", &count))
    return std::nullopt;
  for (int32_t type = 0; type <= 3; ++type)
    if (kind == KindText(type)) m.targetType = type;
  uint64_t files = 0;
  if (!ParseSerial(serial, &m.cardSerial) || !ParseUnsigned(count, 10, 1u << 24, &files))
    return std::nullopt;
  for (uint64_t i = 0; i < files; ++i) {
    std::string entry;
    if (!TakeField(in, "File", &entry)) return std::nullopt;
    const size_t space = entry.find(' ');
    if (space == std::string::npos || entry.size() < space + 11 || entry[space + 9] != ' ')
      return std::nullopt;
    BackupManifestFile file;
    uint64_t crc = 0;
    if (!ParseUnsigned(entry.substr(0, space), 10, UINT64_MAX, &file.size) ||
        !ParseUnsigned(entry.substr(space + 1, 8), 16, 0xFFFFFFFFu, &crc))
      return std::nullopt;
    file.crc = static_cast<uint32_t>(crc);
    file.path = entry.substr(space + 10);
    if (file.path.empty()) return std::nullopt;
    m.files.push_back(std::move(file));
  }
  if (!std::getline(in, line) || (line != "End" && line != "End\r")) return std::nullopt;
  return m;
}

bool WriteManifest(Platform& platform, const std::string& backupFolder,
                   const BackupManifest& manifest) {
  const std::string path = BackupManifestName(backupFolder);
  const std::string text = ComposeManifest(manifest);
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::CreateAlways);
  if (!file) return false;
  bool ok = text.size() <= 0xFFFFFFFFu &&
            file->Write(text.data(), static_cast<uint32_t>(text.size())) && file->Flush();
  uint32_t error = GetLastError();
  if (!file->Close() && ok) {
    ok = false;
    error = GetLastError();
  }
  if (ok) return true;
  // Half a manifest would be read as a damaged backup; none at all says what happened.
  platform.DeleteFile(path);
  SetLastError(error);
  return false;
}

ManifestState ReadManifest(Platform& platform, const std::string& backupFolder,
                           BackupManifest* manifest) {
  const std::string path = BackupManifestName(backupFolder);
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  if (!file) {
    const uint32_t error = GetLastError();
    return error == kErrFileNotFound || error == kErrPathNotFound ? ManifestState::kMissing
                                                                  : ManifestState::kDamaged;
  }
  uint64_t size = 0;
  if (!file->GetSize(&size) || size > kMaxManifestBytes) return ManifestState::kDamaged;
  std::string text(static_cast<size_t>(size), '\0');
  uint32_t got = 0;
  if (!file->Read(text.data(), static_cast<uint32_t>(size), &got) || got != size)
    return ManifestState::kDamaged;
  file->Close();
  std::optional<BackupManifest> parsed = ParseManifest(text);
  if (!parsed) return ManifestState::kDamaged;
  *manifest = std::move(*parsed);
  return ManifestState::kRead;
}

std::string CheckBackupCopy(Platform& platform, const std::string& backupFolder,
                            const BackupManifestFile& file) {
  uint64_t size = 0;
  const std::optional<uint32_t> crc =
      CBHelper::QuietFileCRC(platform, backupFolder + "\\" + file.path, &size);
  if (!crc) return "missing or unreadable";
  if (size != file.size) return "size differs";
  if (*crc != file.crc) return "CRC differs";
  return std::string();
}

}  // namespace cw
