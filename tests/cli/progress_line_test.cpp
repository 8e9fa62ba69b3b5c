// The progress line on a terminal: end to end on a pseudo-terminal (a store over an older
// installation, then a verify), and the line's rules on a clock the test moves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/terminal_progress.h"
#include "package/file_table.h"
#include "support/card_fixture.h"

namespace cw::test {
namespace {

using cli::PhaseFigures;
using cli::PhaseLine;
using cli::TerminalProgress;
using namespace std::chrono_literals;

const std::string kFullBar = "[" + std::string(20, '#') + "]";

PackageSpec Release(const std::string& generation) {
  PackageSpec spec;
  spec.releaseNumber = 42;
  for (int i = 0; i < 12; ++i) {
    spec.files.push_back({.kind = kKindEngine2,
                          .cardPath = "APP\\PART" + std::to_string(i) + ".BIN",
                          .content = std::string(1000 + 100 * i, 'a' + i) + generation});
  }
  spec.files.push_back({.kind = kKindCommon, .cardPath = "CONFIG\\UNITS.TXT", .content = "si"});
  return spec;
}

// The draws of a run on a terminal: the texts between carriage returns and line ends, in the
// order they were written; the spaces that blank a longer line are no draw.
std::vector<std::string> Draws(const std::string& out) {
  std::vector<std::string> draws;
  std::string piece;
  auto keep = [&] {
    while (!piece.empty() && piece.back() == ' ') piece.pop_back();
    if (!piece.empty()) draws.push_back(piece);
    piece.clear();
  };
  for (char c : out) {
    if (c == '\r' || c == '\n') {
      keep();
    } else {
      piece += c;
    }
  }
  keep();
  return draws;
}

// The lines a terminal keeps when the run is over: what each line end leaves visible.
std::vector<std::string> KeptLines(const std::string& out) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = out.substr(start, end - start);
    line = line.substr(line.rfind('\r') == std::string::npos ? 0 : line.rfind('\r') + 1);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

size_t Count(const std::vector<std::string>& texts, const std::string& part) {
  size_t n = 0;
  for (const std::string& text : texts) n += text.find(part) != std::string::npos;
  return n;
}

std::string LineOf(const std::vector<std::string>& lines, const std::string& head) {
  for (const std::string& line : lines)
    if (line.rfind(head, 0) == 0) return line;
  return "";
}

TEST(ProgressLineOnATerminal, EachPhaseEndsFullWithItsFilesAndBytesAndNothingIsDrawnTwice) {
  CardFixture card;
  card.LayEngineCard(Release("old"));
  const std::string package = card.WritePackage(Release("new"));

  const CommandResult store =
      card.RunOnTerminal({"store", "--card", "E:", "--package", package, "--yes"});
  ASSERT_EQ(store.exitCode, 0) << store.out << store.err;
  const std::vector<std::string> kept = KeptLines(store.out);
  // 14 card files (13 package files and UPGRADE.FWP) backed up; 13 records extracted and
  // checked.
  const std::string backup = LineOf(kept, "Backup ");
  EXPECT_NE(backup.find(kFullBar + " 14/14 files,"), std::string::npos) << store.out;
  const std::string extraction = LineOf(kept, "Extraction ");
  EXPECT_NE(extraction.find(kFullBar + " 13/13 files, 18.6/18.6 kB"), std::string::npos)
      << store.out;
  const std::string verification = LineOf(kept, "Verification ");
  EXPECT_NE(verification.find(kFullBar + " 13/13 files,"), std::string::npos) << store.out;
  for (const std::string& line : {backup, extraction, verification})
    EXPECT_EQ(line.substr(line.size() - 6), ", done") << line;

  // Redrawn only on change: no draw repeats the one before it.
  const std::vector<std::string> draws = Draws(store.out);
  for (size_t i = 1; i < draws.size(); ++i) EXPECT_NE(draws[i], draws[i - 1]) << store.out;

  const CommandResult verify = card.RunOnTerminal({"verify", "--card", "E:"});
  ASSERT_EQ(verify.exitCode, 0) << verify.out << verify.err;
  EXPECT_NE(LineOf(KeptLines(verify.out), "Verification ").find(kFullBar + " 13/13 files,"),
            std::string::npos)
      << verify.out;
  // The job shows "Done!" for its last second: drawn once, and kept as the last line.
  EXPECT_EQ(Count(Draws(verify.out), "Done!"), 1u) << verify.out;
  EXPECT_EQ(KeptLines(verify.out).back(), "Done!") << verify.out;
}

TEST(ProgressLineOnATerminal, WithoutATerminalEachStatusIsOneLineAsBefore) {
  CardFixture card;
  card.LayEngineCard(Release("old"));
  const CommandResult verify = card.Run({"verify", "--card", "E:"});
  ASSERT_EQ(verify.exitCode, 0) << verify.err;
  EXPECT_EQ(verify.out.find('\r'), std::string::npos) << verify.out;
  EXPECT_EQ(verify.out.find("files,"), std::string::npos) << verify.out;
  EXPECT_EQ(KeptLines(verify.out).back(), "Done!") << verify.out;
}

TEST(PhaseLine, ShowsAmountsRateAndTimeLeft) {
  struct Case {
    PhaseFigures figures;
    std::string line;
  };
  const Case cases[] = {
      {{kProgressExtraction, 500, 2000, 128'000'000, 512'000'000, 2.0},
       "Extraction   [#####...............] 500/2000 files, 128.0/512.0 MB, 64.0 MB/s, 0:06 left"},
      {{kProgressBackup, 2000, 2000, 512'000'000, 512'000'000, 4.0},
       "Backup       " + kFullBar + " 2000/2000 files, 512.0/512.0 MB, 128.0 MB/s, done"},
      // Not full before the last file, even when the bytes are all there.
      {{kProgressVerification, 9, 10, 100'000'000, 100'000'000, -1},
       "Verification [###################.] 9/10 files, 100.0/100.0 MB"},
      // Empty files: the bar follows the files; no rate without bytes.
      {{kProgressRestore, 2, 4, 0, 0, 1.0},
       "Restore      [##########..........] 2/4 files, 0.0/0.0 kB"},
      // Below a megabyte the amounts are in kilobytes.
      {{kProgressBackup, 1, 2, 1'500, 3'000, -1},
       "Backup       [##########..........] 1/2 files, 1.5/3.0 kB"},
      // A phase seen only after its end has no rate.
      {{kProgressRestore, 4, 4, 4'000'000, 4'000'000, -1},
       "Restore      " + kFullBar + " 4/4 files, 4.0/4.0 MB, done"},
      // Right after the start the rate is not told.
      {{kProgressExtraction, 1, 100, 1'000'000, 100'000'000, 0.05},
       "Extraction   [....................] 1/100 files, 1.0/100.0 MB"},
  };
  for (const Case& c : cases) EXPECT_EQ(PhaseLine(c.figures), c.line);
}

class TerminalProgressTest : public ::testing::Test {
 protected:
  void StartPhase(ProgressPhase phase, int64_t files, int64_t bytes) {
    PhaseAmounts& amounts = job.phaseAmounts[phase];
    amounts.filesDone = 0;
    amounts.bytesDone = 0;
    amounts.filesTotal = files;
    amounts.bytesTotal = bytes;
    ++amounts.starts;
    job.progressPhase = phase;
  }
  void Done(ProgressPhase phase, int64_t files, int64_t bytes) {
    job.phaseAmounts[phase].filesDone += files;
    job.phaseAmounts[phase].bytesDone += bytes;
  }
  std::string At(std::chrono::milliseconds when, bool final = false) {
    return progress.Update(job, start + when, final);
  }

  JobContext job;
  TerminalProgress progress{200};
  TerminalProgress::Clock::time_point start = TerminalProgress::Clock::now();
};

TEST_F(TerminalProgressTest, DrawsAtMostTenTimesASecondAndOnlyWhatChanged) {
  progress.Begin(job);
  job.statusText.Set("Checking");
  EXPECT_EQ(At(0ms), "\rChecking");
  EXPECT_EQ(At(20ms), "");  // unchanged
  StartPhase(kProgressExtraction, 100, 100'000'000);
  int draws = 0;
  for (int tick = 1; tick <= 50; ++tick) {  // one second of 20 ms ticks, a file each
    Done(kProgressExtraction, 1, 1'000'000);
    if (!At(std::chrono::milliseconds(20 + 20 * tick)).empty()) ++draws;
  }
  EXPECT_GE(draws, 9);
  EXPECT_LE(draws, 10);
}

TEST_F(TerminalProgressTest, APhaseThatEndsLeavesItsLastLineAndTheStatusFollows) {
  progress.Begin(job);
  StartPhase(kProgressVerification, 3, 3'000'000);
  EXPECT_NE(At(0ms).find("0/3 files"), std::string::npos);
  Done(kProgressVerification, 3, 3'000'000);
  job.statusText.Set("Done!");
  const std::string out = At(500ms);
  EXPECT_EQ(out.find("\r\x1b"), std::string::npos);
  EXPECT_NE(out.find(kFullBar + " 3/3 files, 3.0/3.0 MB, 6.0 MB/s, done\n"), std::string::npos)
      << out;
  EXPECT_EQ(out.substr(out.size() - 6), "\rDone!");
  EXPECT_EQ(At(600ms), "");
  EXPECT_EQ(At(1500ms, true), "\n");  // already on the line: only ended
}

TEST_F(TerminalProgressTest, PhasesMissedBetweenTwoLooksGetTheirLastLinesAndEarlierJobsNone) {
  StartPhase(kProgressRestore, 1, 10);  // an earlier job's
  progress.Begin(job);
  StartPhase(kProgressBackup, 2, 2'000'000);
  Done(kProgressBackup, 2, 2'000'000);
  StartPhase(kProgressExtraction, 2, 1'000'000);
  Done(kProgressExtraction, 1, 500'000);
  const std::string out = At(0ms);
  EXPECT_NE(out.find("Backup       " + kFullBar + " 2/2 files, 2.0/2.0 MB, done\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("Restore"), std::string::npos) << out;
  EXPECT_NE(out.find("\rExtraction   [##########..........] 1/2 files"), std::string::npos)
      << out;
}

TEST_F(TerminalProgressTest, ALineLongerThanTheTerminalIsCutAndAShorterOneBlanksTheRest) {
  TerminalProgress narrow(10);
  narrow.Begin(job);
  job.statusText.Set("a status longer than ten columns");
  EXPECT_EQ(narrow.Update(job, start), "\ra status ");
  job.statusText.Set("ok");
  EXPECT_EQ(narrow.Update(job, start + 1s), "\r         \rok");
  EXPECT_EQ(narrow.Clear(), "\r  \r");
  EXPECT_EQ(narrow.Clear(), "");
}

}  // namespace
}  // namespace cw::test
