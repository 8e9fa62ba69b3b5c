#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "journal/journal_entry.h"
#include "journal/journal_file.h"
#include "journal/journal_list.h"
#include "platform/posix_fixture.h"
#include "platform/sha256.h"
#include "platform/text.h"
#include "support/fake_platform.h"
#include "support/journal_entries.h"

namespace cw {
namespace {

using Json = nlohmann::ordered_json;

JournalEntry Entry(JobKind kind, JobOutcome outcome, int minute = 0, uint32_t serial = 0x1A2B3C4D) {
  return test::SampleJournalEntry(kind, outcome, minute, serial);
}

// Every key of a line, and the values that tell the kinds of jobs apart.
TEST(JournalEntryTest, KeysOfEachKindOfJob) {
  struct Case {
    const char* name;
    JobKind kind;
    JobOutcome outcome;
    Verdict restore;
    const char* backup;
    const char* job, *outcome_text, *backup_action;  // backup_action "" : none
  };
  const Case cases[] = {
      {"store", JobKind::kStore, JobOutcome::kPassed, Verdict::kNone, "", "store", "passed", ""},
      {"failed store, restored", JobKind::kStore, JobOutcome::kFailed, Verdict::kPassed,
       "2026-03-01_0915_1A2B-3C4D", "store", "failed", "restored"},
      {"verify", JobKind::kVerifyOnly, JobOutcome::kFailed, Verdict::kNone, "", "verify_only",
       "failed", ""},
      {"restore only", JobKind::kRestoreOnly, JobOutcome::kPassed, Verdict::kPassed,
       "2026-03-01_0915_1A2B-3C4D", "restore_only", "passed", "restored"},
  };
  const std::vector<std::string> keys = {
      "schema", "previous_sha256", "run_id", "started", "ended", "utc_offset", "program_version",
      "host", "user", "front_end", "job", "card", "package", "outcome", "stage", "files",
      "backup", "phases"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JournalEntry entry = Entry(c.kind, c.outcome);
    entry.facts.result.restore = c.restore;
    entry.facts.backupName = c.backup;
    const Json line = Json::parse(JournalLineOf(entry, Sha256Hex("before")));
    std::vector<std::string> seen;
    for (const auto& item : line.items()) seen.push_back(item.key());
    EXPECT_EQ(seen, keys);
    EXPECT_EQ(line["previous_sha256"], Sha256Hex("before"));
    EXPECT_EQ(line["job"], c.job);
    EXPECT_EQ(line["outcome"], c.outcome_text);
    EXPECT_EQ(line["started"], "2026-03-01T09:00:00.000Z");
    EXPECT_EQ(line["ended"], "2026-03-01T09:00:42.500Z");
    EXPECT_EQ(line["utc_offset"], "+01:00");
    EXPECT_EQ(line["card"],
              Json::parse(R"({"letter":"E:","serial":"1A2B-3C4D","label":"PANEL1","bytes":67108864,
                              "file_system":"FAT16","kind":"panel","panel_model":3950})"));
    EXPECT_EQ(line["files"], Json::parse(R"({"written":12,"verified":12,"failed":0,"restored":0})"));
    EXPECT_EQ(line["phases"], Json::parse(R"([{"phase":"store","seconds":3.5}])"));
    if (c.kind == JobKind::kRestoreOnly) {
      EXPECT_TRUE(line["package"].is_null());
    } else {
      EXPECT_EQ(line["package"]["crc32"], "DEADBEEF");
      EXPECT_EQ(line["package"]["format_version"], "2.005A");
      EXPECT_EQ(line["package"]["sha256"], Sha256Hex("package"));
    }
    if (*c.backup_action == '\0') {
      EXPECT_TRUE(line["backup"].is_null());
    } else {
      EXPECT_EQ(line["backup"]["action"], c.backup_action);
      EXPECT_EQ(line["backup"]["name"], c.backup);
    }
  }
}

class JournalFileTest : public ::testing::Test {
 protected:
  JournalFileTest() { fs_.AddFolder("C:\\DATA"); }
  std::string Bytes() const { return fs_.ReadFile(kPath); }
  void SetBytes(const std::string& bytes) { fs_.WriteFile(kPath, bytes); }
  static constexpr const char* kPath = "C:\\DATA\\CardJournal.jsonl";
  void Append(int minute) {
    ASSERT_TRUE(AppendJobToJournal(fs_, "C:\\DATA", Entry(JobKind::kStore, JobOutcome::kPassed, minute)));
  }
  FakePlatform fs_;
};

// A last line cut at any byte (a crash while it was written), then a new job: the lines before
// it stay as they were, the cut line is reported, the new line stands on its own and the chain
// holds through the cut line.
TEST_F(JournalFileTest, LineCutAtEveryByteThenAnAppend) {
  Append(0);
  Append(1);
  const std::string whole = Bytes();
  const size_t firstEnd = whole.find('\n') + 1;
  for (size_t cut = firstEnd + 1; cut < whole.size(); ++cut) {
    SCOPED_TRACE(cut);
    SetBytes(whole.substr(0, cut));
    Append(2);
    const std::string now = Bytes();
    EXPECT_EQ(now.substr(0, firstEnd), whole.substr(0, firstEnd));
    const std::vector<JournalRow> rows = JournalRows(now);
    ASSERT_EQ(rows.size(), 3u);
    // Without only its newline the line is whole; the append ends it.
    const std::vector<size_t> cutLines =
        cut + 1 == whole.size() ? std::vector<size_t>{} : std::vector<size_t>{2};
    EXPECT_EQ(IncompleteLines(rows), cutLines);
    EXPECT_TRUE(rows[0].complete && rows[2].complete);
    if (cutLines.empty()) {
      EXPECT_EQ(rows[1].text, std::string_view(whole).substr(firstEnd, cut - firstEnd));
    }
    EXPECT_EQ(rows[2].started.substr(0, 16), "2026-03-01 10:02");
    const JournalCheck check = CheckJournal(now);
    EXPECT_TRUE(check.Holds()) << check.brokenAt;
    EXPECT_EQ(check.incomplete, cutLines);
  }
}

// A journal that cannot be written says so and leaves the lines before as they were; a job
// that took no card leaves no line.
TEST_F(JournalFileTest, AJournalThatCannotBeWrittenIsSaid) {
  Append(0);
  const std::string before = Bytes();
  fs_.FailCall("Write", kErrDiskFull, 1, kPath);
  EXPECT_EQ(JournalEndedJob(fs_, "C:\\DATA", Entry(JobKind::kStore, JobOutcome::kPassed)),
            std::string(kJournalNotWritten) + " (error 112)");
  JournalEntry noCard = Entry(JobKind::kStore, JobOutcome::kRefused);
  noCard.facts.card = CardIdentity{};
  EXPECT_EQ(JournalEndedJob(fs_, "C:\\DATA", noCard), "");
  EXPECT_EQ(Bytes(), before);
}

// The chain names the first line that does not follow the one before it.
TEST_F(JournalFileTest, CheckFindsAnEditARemovalAndAnInsertion) {
  for (int minute = 0; minute < 4; ++minute) Append(minute);
  const std::string whole = Bytes();
  std::vector<std::string> lines;
  for (std::string_view line : JournalLines(whole)) lines.emplace_back(line);
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    size_t brokenAt;
  };
  std::vector<std::string> edited = lines, removed = lines, inserted = lines;
  edited[1] = ReplaceAll(edited[1], "\"passed\"", "\"failed\"");
  removed.erase(removed.begin() + 2);
  inserted.insert(inserted.begin() + 1, lines[3]);
  const Case cases[] = {{"untouched", lines, 0},
                        {"second line edited", edited, 3},
                        {"third line removed", removed, 3},
                        {"line inserted second", inserted, 2}};
  for (const Case& c : cases) {
    std::string bytes;
    for (const std::string& line : c.lines) bytes += line + "\n";
    EXPECT_EQ(CheckJournal(bytes).brokenAt, c.brokenAt) << c.name;
  }
}

// The listing: newest first, by card, by local date; a bad date is refused.
TEST_F(JournalFileTest, ListingChoosesByCardAndDate) {
  ASSERT_TRUE(AppendJobToJournal(fs_, "C:\\DATA", Entry(JobKind::kStore, JobOutcome::kPassed, 0)));
  ASSERT_TRUE(AppendJobToJournal(fs_, "C:\\DATA",
                                 Entry(JobKind::kVerifyOnly, JobOutcome::kPassed, 24 * 60, 0x0BAD0001)));
  ASSERT_TRUE(AppendJobToJournal(fs_, "C:\\DATA", Entry(JobKind::kStore, JobOutcome::kFailed, 48 * 60)));
  const std::vector<JournalRow> rows = JournalRows(Bytes());
  struct Case {
    JournalFilter filter;
    std::vector<size_t> lines;
  };
  const Case cases[] = {{{"", ""}, {3, 2, 1}},
                        {{"1a2b3c4d", ""}, {3, 1}},
                        {{"0BAD-0001", ""}, {2}},
                        {{"", "2026-03-02"}, {3, 2}},
                        {{"", "2026-03-03T10:01"}, {}},
                        {{"1A2B-3C4D", "2026-03-02"}, {3}}};
  for (const Case& c : cases) {
    std::vector<size_t> lines;
    for (const JournalRow* row : SelectRows(rows, c.filter)) lines.push_back(row->line);
    EXPECT_EQ(lines, c.lines) << c.filter.cardSerial << " " << c.filter.since;
  }
  for (const char* bad : {"2026-13-01", "yesterday", "2026-03-01T25:00", "2026-3-1"})
    EXPECT_FALSE(SinceProblem(bad).empty()) << bad;
}

// Two processes appending at once: every line whole, each on its own, the chain unbroken.
class JournalProcessTest : public test::PosixTest {};

TEST_F(JournalProcessTest, TwoProcessesNeverInterleave) {
  constexpr int kEach = 150;
  pid_t children[2];
  for (pid_t& child : children) {
    child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      bool ok = true;
      for (int i = 0; i < kEach; ++i) ok = AppendJobToJournal(sys(), "E:", Entry(JobKind::kStore, JobOutcome::kPassed, i)) && ok;
      ::_exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::string bytes = temp_.Read("card/CardJournal.jsonl");
  const JournalCheck check = CheckJournal(bytes);
  EXPECT_EQ(check.lines, 2u * kEach);
  EXPECT_TRUE(check.incomplete.empty());
  EXPECT_TRUE(check.Holds()) << check.brokenAt;
}

}  // namespace
}  // namespace cw
