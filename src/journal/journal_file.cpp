#include "journal/journal_file.h"

#include "journal/line_scan.h"

#include "platform/platform.h"
#include "platform/sha256.h"

namespace cw {

namespace {

constexpr std::string_view kLinkHead = "\"previous_sha256\":";

// The last line of an open journal, without its newline, and whether that newline is missing.
bool ReadLastLine(File& file, uint64_t size, std::string* last, bool* cut) {
  last->clear();
  *cut = false;
  if (size == 0) return true;
  std::string tail;
  uint64_t from = size;
  constexpr uint64_t kPiece = 4096;
  while (from > 0) {
    const uint64_t start = from > kPiece ? from - kPiece : 0;
    std::string piece(static_cast<size_t>(from - start), '\0');
    uint32_t got = 0;
    if (!file.Seek(static_cast<int64_t>(start), SeekFrom::Begin) ||
        !file.Read(piece.data(), static_cast<uint32_t>(piece.size()), &got) || got != piece.size())
      return false;
    tail.insert(0, piece);
    from = start;
    // A newline before the last byte ends the line before the last.
    const size_t newline =
        tail.size() >= 2 ? tail.find_last_of('\n', tail.size() - 2) : std::string::npos;
    if (newline != std::string::npos && newline + 1 < tail.size()) {
      tail.erase(0, newline + 1);
      break;
    }
  }
  *cut = tail.back() != '\n';
  if (!*cut) tail.pop_back();
  *last = std::move(tail);
  return true;
}

}  // namespace

std::string JournalPath(const std::string& dataFolder) {
  return dataFolder + "\\" + kJournalFileName;
}

bool AppendJobToJournal(Platform& platform, const std::string& dataFolder,
                        const JournalEntry& entry) {
  const std::string path = JournalPath(dataFolder);
  std::unique_ptr<HeldLock> lock = platform.AcquireLock(path, kJournalLockWaitMs);
  if (!lock) return false;
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Append);
  if (!file) return false;
  uint64_t size = 0;
  std::string last;
  bool cut = false;
  if (!file->GetSize(&size) || !ReadLastLine(*file, size, &last, &cut)) return false;
  std::string text = cut ? "\n" : "";
  text += JournalLineOf(entry, size == 0 ? std::string() : Sha256Hex(last));
  text += '\n';
  const bool written = file->Write(text.data(), static_cast<uint32_t>(text.size())) &&
                       file->Flush();
  return file->Close() && written;
}

std::string JournalEndedJob(Platform& platform, const std::string& dataFolder,
                            const JournalEntry& entry) {
  if (!entry.facts.card.present) return std::string();
  if (AppendJobToJournal(platform, dataFolder, entry)) return std::string();
  return std::string(kJournalNotWritten) + " (error " + std::to_string(GetLastError()) + ")";
}

bool ReadJournalBytes(Platform& platform, const std::string& dataFolder, std::string* bytes) {
  bytes->clear();
  const std::string path = JournalPath(dataFolder);
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  if (!file) {
    const uint32_t error = GetLastError();
    return error == kErrFileNotFound || error == kErrPathNotFound;
  }
  uint64_t size = 0;
  if (!file->GetSize(&size)) return false;
  bytes->resize(static_cast<size_t>(size));
  size_t done = 0;
  uint32_t got = 0;
  while (done < bytes->size() &&
         file->Read(bytes->data() + done,
                    static_cast<uint32_t>(std::min<size_t>(bytes->size() - done, 1u << 24)), &got) &&
         got > 0)
    done += got;
  bytes->resize(done);  // a journal another run just appended to is read as far as it was
  return true;
}

std::vector<std::string_view> JournalLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) end = bytes.size();
    lines.push_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

bool IsCompleteLine(std::string_view line) {
  auto ignore = [](const std::string&, std::string_view, bool) {};
  return !line.empty() && line.front() == '{' && LineScan(line, ignore).Whole();
}

bool LinkOf(std::string_view line, std::string* previous) {
  // {"schema":N,"previous_sha256":null or "<64 hex digits>",...
  const size_t comma = line.find(',');
  if (line.substr(0, 10) != "{\"schema\":" || comma == std::string_view::npos) return false;
  const std::string_view rest = line.substr(comma + 1);
  if (rest.substr(0, kLinkHead.size()) != kLinkHead) return false;
  const std::string_view value = rest.substr(kLinkHead.size());
  if (value.substr(0, 5) == "null,") return previous->clear(), true;
  if (value.size() < 67 || value[0] != '"' || value[65] != '"') return false;
  previous->assign(value.substr(1, 64));
  return true;
}

JournalCheck CheckJournal(std::string_view bytes) {
  JournalCheck check;
  const std::vector<std::string_view> lines = JournalLines(bytes);
  check.lines = lines.size();
  std::string expected;  // the first line links to nothing
  std::string link;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!IsCompleteLine(lines[i])) {
      check.incomplete.push_back(i + 1);
    } else if (check.Holds() && (!LinkOf(lines[i], &link) || link != expected)) {
      check.brokenAt = i + 1;
    }
    expected = Sha256Hex(lines[i]);
  }
  return check;
}

}  // namespace cw
