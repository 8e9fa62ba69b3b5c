#include "journal/journal_list.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "journal/journal_entry.h"
#include "journal/journal_file.h"
#include "journal/line_scan.h"
#include "platform/text.h"

namespace cw {

namespace {

// "2026-03-01T09:15:42.250Z" as milliseconds since 1970; "+01:00" as minutes.
bool ParseUtc(const std::string& text, int64_t* ms) {
  int y, mo, d, h, mi, s, milli;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &y, &mo, &d, &h, &mi, &s, &milli) != 7)
    return false;
  using namespace std::chrono;
  const sys_days day{year(y) / month(mo) / ::std::chrono::day(d)};
  *ms = duration_cast<milliseconds>(day.time_since_epoch()).count() +
        ((h * 60 + mi) * 60 + s) * 1000LL + milli;
  return true;
}

int32_t ParseOffset(const std::string& text) {
  int h = 0, m = 0;
  if (text.size() != 6 || std::sscanf(text.c_str() + 1, "%2d:%2d", &h, &m) != 2) return 0;
  return (text[0] == '-' ? -1 : 1) * (h * 60 + m);
}

std::string NormalSerial(const std::string& serial) {
  std::string normal;
  for (char c : serial)
    if (c != '-') normal += ToUpperAscii(c);
  return normal;
}

int64_t Number(std::string_view raw) {
  int64_t value = 0;
  for (char c : raw) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

JournalRow RowOf(size_t number, std::string_view text) {
  JournalRow row;
  row.line = number;
  row.text = text;
  std::string started, offset;
  auto found = [&](const std::string& path, std::string_view value, bool isText) {
    std::string* into = nullptr;
    int64_t* count = nullptr;
    switch (path.size() > 0 ? path[0] : ' ') {
      case 's': into = path == "started" ? &started : path == "stage" ? &row.stage : nullptr; break;
      case 'u': into = path == "utc_offset" ? &offset : path == "user" ? &row.user : nullptr; break;
      case 'j': into = path == "job" ? &row.job : nullptr; break;
      case 'o': into = path == "outcome" ? &row.outcome : nullptr; break;
      case 'f':
        into = path == "front_end" ? &row.frontEnd : nullptr;
        count = path == "files.written"    ? &row.filesWritten
                : path == "files.verified" ? &row.filesVerified
                : path == "files.failed"   ? &row.filesFailed
                : path == "files.restored" ? &row.filesRestored
                                           : nullptr;
        break;
      case 'h': into = path == "host" ? &row.host : nullptr; break;
      case 'r': into = path == "run_id" ? &row.runId : nullptr; break;
      case 'c':
        into = path == "card.letter"   ? &row.cardLetter
               : path == "card.serial" ? &row.cardSerial
               : path == "card.label"  ? &row.cardLabel
                                       : nullptr;
        break;
      case 'p':
        into = path == "package.file_name"        ? &row.packageName
               : path == "package.format_version" ? &row.packageVersion
                                                  : nullptr;
        break;
      case 'b': into = path == "backup.name" ? &row.backup : nullptr; break;
    }
    if (into != nullptr && isText) into->assign(value);
    if (count != nullptr && !isText) *count = Number(value);
  };
  if (text.empty() || text.front() != '{' || !LineScan(text, found).Whole()) {
    JournalRow cut;  // what a cut line's scan found is not kept
    cut.line = number;
    cut.text = text;
    return cut;
  }
  row.complete = true;
  if (ParseUtc(started, &row.startedUtcMs)) {
    const std::string local = UtcText(row.startedUtcMs + ParseOffset(offset) * 60000LL);
    row.sinceKey = local.substr(0, 19);
    row.started = local.substr(0, 10) + " " + local.substr(11, 8) + " " + offset;
  }
  return row;
}

}  // namespace

std::string SinceProblem(const std::string& since) {
  int y, mo, d, h = 0, mi = 0, s = 0;
  char tail = 0;
  const int read = std::sscanf(since.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail);
  const bool shaped = (since.size() == 10 && read == 3) || (since.size() == 16 && read == 5) ||
                      (since.size() == 19 && read == 6);
  using namespace std::chrono;
  if (!shaped || !year_month_day(year(y) / month(mo) / day(d)).ok() || h > 23 || mi > 59 || s > 59)
    return "--since: \"" + since + "\" is not a date (YYYY-MM-DD, or YYYY-MM-DDTHH:MM[:SS])";
  return std::string();
}

std::vector<JournalRow> JournalRows(std::string_view bytes) {
  const std::vector<std::string_view> lines = JournalLines(bytes);
  std::vector<JournalRow> rows;
  rows.reserve(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) rows.push_back(RowOf(i + 1, lines[i]));
  return rows;
}

std::vector<const JournalRow*> SelectRows(const std::vector<JournalRow>& rows,
                                          const JournalFilter& filter) {
  const std::string serial = NormalSerial(filter.cardSerial);
  std::vector<const JournalRow*> chosen;
  for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
    if (!row->complete) continue;
    if (!serial.empty() && NormalSerial(row->cardSerial) != serial) continue;
    if (!filter.since.empty() && row->sinceKey.compare(0, filter.since.size(), filter.since) < 0)
      continue;
    chosen.push_back(&*row);
  }
  // Two runs may finish out of the order they started in.
  std::stable_sort(chosen.begin(), chosen.end(), [](const JournalRow* a, const JournalRow* b) {
    return a->startedUtcMs > b->startedUtcMs;
  });
  return chosen;
}

std::vector<size_t> IncompleteLines(const std::vector<JournalRow>& rows) {
  std::vector<size_t> lines;
  for (const JournalRow& row : rows)
    if (!row.complete) lines.push_back(row.line);
  return lines;
}

std::string FilesText(const JournalRow& row) {
  return Format("%lld/%lld/%lld", static_cast<long long>(row.filesWritten),
                static_cast<long long>(row.filesVerified), static_cast<long long>(row.filesFailed));
}

std::array<std::string, kJournalColumns.size()> JournalCells(const JournalRow& row) {
  return {row.started, row.job,         row.cardSerial, row.cardLabel,
          row.packageName, row.outcome, FilesText(row)};
}

std::string JournalUnreadableText(const std::string& shown, uint32_t error) {
  return "The card journal " + shown + " could not be read (error " + std::to_string(error) + ").";
}

std::string NoJournalEntriesText(const std::string& shown) {
  return "There are no entries in the card journal " + shown + ".";
}

std::string LineNumbersText(const std::vector<size_t>& lines) {
  std::string list;
  for (size_t line : lines) list += (list.empty() ? "" : ", ") + std::to_string(line);
  return list;
}

std::string IncompleteLinesText(const std::vector<size_t>& lines) {
  return "The card journal has " + std::to_string(lines.size()) + " incomplete line" +
         (lines.size() == 1 ? "" : "s") + " (cut short when written): line " +
         LineNumbersText(lines) + ".";
}

}  // namespace cw
