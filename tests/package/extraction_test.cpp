#include "package/extraction.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "record/job_io.h"
#include "record/job_state.h"
#include "package/file_table.h"
#include "job/load_info_array.h"
#include "platform/text.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::JobScope;
using test::kPackagePath;
using test::MakeFile;

// Every byte value, zeros and line ends included, a few times over.
std::string Binary(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  return bytes;
}

// One record extracted on a job of its own, its table taken unchecked from the package.
struct OneRecordRun {
  bool result = false;
  int32_t filesStored = 0;
  std::vector<std::string> messages;
  bool written = false;  // the file exists on the card afterwards
};

OneRecordRun ExtractOne(const PackageFileSpec& file, const std::string& cardFile,
                        const std::string& failOp = "") {
  JobScope scope;
  LoadedPackage package;
  PackageSpec spec;
  spec.files = {file};
  PackageLayout layout;
  scope.fake.WriteFile(kPackagePath, BuildPackage(spec, &layout));
  package.fileTable = layout.records;
  scope.state.targetType = kTargetEngine;
  if (!failOp.empty()) scope.fake.FailCall(failOp, kErrDiskFull, 1, cardFile);
  OneRecordRun run;
  run.result = Decompress(scope.state, package);
  run.filesStored = scope.state.filesStored;
  run.messages = scope.prompt.messages();
  run.written = scope.fake.Exists(cardFile);
  return run;
}

class DecompressTest : public ::testing::Test {
 protected:
  // The package on the fake disk and its table loaded as the store job loads it.
  void Load(const PackageSpec& spec, int32_t target) {
    scope.PutPackage(spec);
    scope.state.targetType = target;
    ASSERT_TRUE(scope.LoadToStore(package));
    scope.fake.ClearCalls();
  }
  // The package's records taken as they are, for damage the loader would refuse. Returns the
  // package's bytes so a test can damage them further.
  std::string UseRecords(const PackageSpec& spec, int32_t target) {
    PackageLayout layout;
    const std::string bytes = BuildPackage(spec, &layout);
    scope.fake.WriteFile(kPackagePath, bytes);
    package.fileTable = layout.records;
    scope.state.targetType = target;
    return bytes;
  }
  bool Logged(const std::string& line) const { return scope.Logged(line); }
  size_t LoggedCount(const std::string& line) const {
    const auto lines = scope.LogLines();
    return std::count(lines.begin(), lines.end(), line);
  }
  // Extraction stopped with exactly this box, recorded in the transcript, with the package
  // closed again.
  void ExpectFailure(const std::string& box, const std::string& diagnostics,
                     const std::string& logLine) {
    ASSERT_EQ(scope.prompt.messages().size(), 1u);
    EXPECT_EQ(scope.prompt.messages()[0], box);
    EXPECT_EQ(scope.prompt.calls()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(scope.job.diagnosticsText.Get(), diagnostics);
    // Some log lines hold a CR LF of their own, so the raw log, written in text mode (each LF
    // after a CR), is searched.
    const std::string raw = ReplaceAll(" - " + logLine + "\n", "\n", "\r\n");
    EXPECT_NE(scope.fake.ReadFile(test::kLogPath).find(raw),
              std::string::npos)
        << logLine;
    EXPECT_TRUE(scope.FileClosed());
  }
  void ExpectInflateFailure(int code, const std::string& name) {
    const std::string box = "Reinflate Init Failed: " + std::to_string(code) + "\r\n" + name + "\r\n";
    ExpectFailure(box, box, "Reinflate Init Failed: " + std::to_string(code) + ". " + name);
  }

  JobScope scope;
  LoadedPackage package;
};

TEST_F(DecompressTest, EngineFilesAreInflatedToUpperCasedPathsAndCounted) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "app\\Main.bin", Binary(5000)),
                MakeFile(kKindCommon, "Common.dat", "common"),
                MakeFile(kKindEngine13, "app\\sub\\deep.txt", "")};
  Load(spec, kTargetEngine);
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.state.filesStored, 3);
  EXPECT_EQ(scope.fake.ReadFile("E:\\APP\\MAIN.BIN"), Binary(5000));
  EXPECT_EQ(scope.fake.ReadFile("E:\\COMMON.DAT"), "common");
  EXPECT_TRUE(scope.fake.Exists("E:\\APP\\SUB\\DEEP.TXT"));
  EXPECT_EQ(scope.fake.ReadFile("E:\\APP\\SUB\\DEEP.TXT"), "");
  // The names on the card carry the upper-cased spelling.
  EXPECT_EQ(scope.fake.List("E:"), (std::vector<std::string>{"APP", "COMMON.DAT"}));
  EXPECT_EQ(scope.fake.List("E:\\APP"), (std::vector<std::string>{"MAIN.BIN", "SUB"}));
  EXPECT_EQ(scope.prompt.Count(), 0u);
  EXPECT_TRUE(scope.FileClosed());
  EXPECT_TRUE(Logged("Decompress"));
  EXPECT_TRUE(Logged("    opening master FWP file."));
  EXPECT_TRUE(Logged("    3 files to decompress."));
}

TEST_F(DecompressTest, StoredKindsAreWrittenAsTheyAreAndKeepTheirCase) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindPanel3940Raw, "Data\\Raw.bin", Binary(777)),
                MakeFile(kKindPanel3940, "Data\\packed.bin", "packed")};
  Load(spec, kTargetPanel3940);
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.state.filesStored, 2);
  EXPECT_EQ(scope.fake.ReadFile("E:\\Data\\Raw.bin"), Binary(777));
  EXPECT_EQ(scope.fake.List("E:"), (std::vector<std::string>{"Data"}));
  // The folder was made by the stored file; the compressed one lands in it upper-cased.
  EXPECT_EQ(scope.fake.List("E:\\Data"), (std::vector<std::string>{"Raw.bin", "PACKED.BIN"}));
  EXPECT_TRUE(Logged("    writing E:\\Data\\Raw.bin"));
  // Only stored kinds log their writing.
  EXPECT_FALSE(Logged("    writing E:\\DATA\\PACKED.BIN"));
}

TEST_F(DecompressTest, IrrelevantRecordMovesTheProgressOnly) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindPanel3940, "A.BIN", "a"), MakeFile(kKindEngine2, "ENGINE.BIN", "e"),
                MakeFile(kKindPanel3940, "B.BIN", "b"), MakeFile(kKindEngine7, "LAST.BIN", "l")};
  UseRecords(spec, kTargetPanel3940);
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.state.filesStored, 2);
  EXPECT_FALSE(scope.fake.Exists("E:\\ENGINE.BIN"));
  EXPECT_FALSE(scope.fake.Exists("E:\\LAST.BIN"));
  EXPECT_EQ(scope.job.progressRangeChanged, 1);
  EXPECT_EQ(scope.job.progressMin, 0);
  EXPECT_EQ(scope.job.progressMax, 4);
  EXPECT_EQ(scope.job.progressPos, 3);
  // Set before B.BIN was written; the irrelevant last record left it alone.
  EXPECT_EQ(scope.job.statusText.Get(), "1 Files stored");
}

TEST_F(DecompressTest, StatusShowsTheCountBeforeTheFileBeingWritten) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "ONE.BIN", "1")};
  Load(spec, kTargetEngine);
  scope.state.filesStored = 0;
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.job.statusText.Get(), "0 Files stored");
  EXPECT_EQ(scope.state.filesStored, 1);
  // The count carries on from the caller's value.
  scope.state.filesStored = 10;
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.job.statusText.Get(), "10 Files stored");
  EXPECT_EQ(scope.state.filesStored, 11);
}

TEST_F(DecompressTest, CommonStoredFileGoesToTheRootOfAnEngineCard) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindCommonRaw, "TOOLS\\X.BIN", "x")};
  Load(spec, kTargetEngine);
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.fake.ReadFile("E:\\X.BIN"), "x");
  EXPECT_FALSE(scope.fake.Exists("E:\\TOOLS"));
  EXPECT_TRUE(Logged("    writing E:\\X.BIN"));
  EXPECT_TRUE(Logged("GetFilenameNoPath"));  // the name taken from the record's path
  EXPECT_EQ(scope.state.filesStored, 1);
}

TEST_F(DecompressTest, CommonStoredFileKeepsItsFolderOnAPanelCard) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindCommonRaw, "TOOLS\\X.BIN", "x")};
  Load(spec, kTargetPanel3950);
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.fake.ReadFile("E:\\TOOLS\\X.BIN"), "x");
  EXPECT_FALSE(scope.fake.Exists("E:\\X.BIN"));
}

TEST_F(DecompressTest, OneZlibceDllAtTheRootOfAnEngineCard) {
  PackageSpec spec;
  spec.files = {MakeFile(5, "A\\ZLIBCE.DLL", "first"), MakeFile(kKindEngine2, "M.BIN", "m"),
                MakeFile(kKindCommon, "B\\zlibce.dll", "second")};
  Load(spec, kTargetEngine);
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.state.filesStored, 2);
  EXPECT_EQ(scope.fake.ReadFile("E:\\ZLIBCE.DLL"), "first");
  EXPECT_FALSE(scope.fake.Exists("E:\\A"));
  EXPECT_FALSE(scope.fake.Exists("E:\\B"));
  // A later call starts with the flag clear again.
  scope.state.filesStored = 0;
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.state.filesStored, 2);
}

TEST_F(DecompressTest, ZlibceDllRuleIsForEngineCardsOnly) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindCommon, "SYS\\ZLIBCE.DLL", "panel")};
  Load(spec, kTargetPanel3940);
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.fake.ReadFile("E:\\SYS\\ZLIBCE.DLL"), "panel");
  EXPECT_FALSE(scope.fake.Exists("E:\\ZLIBCE.DLL"));
}

TEST_F(DecompressTest, EmptyTableLogsZeroFilesAndSucceeds) {
  Load(PackageSpec{}, kTargetEngine);
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.state.filesStored, 0);
  EXPECT_TRUE(Logged("    0 files to decompress."));
  EXPECT_EQ(scope.job.progressMax, 0);
  EXPECT_EQ(scope.job.progressRangeChanged, 1);
  EXPECT_EQ(scope.job.statusText.Get(), "");
}

TEST_F(DecompressTest, MissingFoldersAreCreatedWithTheirLogLines) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "SYSTEM\\FONTS\\A.TTF", "a"),
                MakeFile(kKindEngine2, "SYSTEM\\FONTS\\B.TTF", "b")};
  Load(spec, kTargetEngine);
  ASSERT_TRUE(Decompress(scope.state, package));
  const auto lines = scope.LogLines();
  // The empty card's root matches nothing: its pattern is logged and making E: fails.
  const auto root = std::find(lines.begin(), lines.end(), "    creating directory E:\\*.*");
  ASSERT_NE(root, lines.end());
  ASSERT_NE(root + 1, lines.end());
  EXPECT_EQ(*(root + 1), "      failed.  Status = 183");
  EXPECT_EQ(LoggedCount("    creating directory E:\\*.*"), 1u);
  EXPECT_EQ(LoggedCount("    creating directory E:\\SYSTEM\\*.*"), 1u);
  EXPECT_EQ(LoggedCount("    creating directory E:\\SYSTEM\\FONTS\\*.*"), 1u);
  EXPECT_EQ(LoggedCount("      failed.  Status = 183"), 1u);
  EXPECT_TRUE(scope.fake.IsFolder("E:\\SYSTEM\\FONTS"));
  EXPECT_EQ(scope.fake.ReadFile("E:\\SYSTEM\\FONTS\\B.TTF"), "b");
}

// A table given without a load has no bytes kept: the package is read then, and one that
// cannot be opened ends the extraction.
TEST_F(DecompressTest, UnopenablePackageFailsWithoutAWord) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "A.BIN", "a")};
  UseRecords(spec, kTargetEngine);
  scope.fake.FailCall("OpenFile", kErrSharingViolation, 1, kPackagePath);
  EXPECT_FALSE(Decompress(scope.state, package));
  EXPECT_EQ(scope.prompt.Count(), 0u);
  EXPECT_EQ(scope.job.diagnosticsText.Get(), "");
  EXPECT_EQ(scope.LogLines().back(), "    opening master FWP file.");
  EXPECT_FALSE(scope.fake.Exists("E:\\A.BIN"));
}

TEST_F(DecompressTest, WrongNameStampStopsBeforeWritingThatRecord) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "FIRST.BIN", "1"), MakeFile(kKindEngine2, "APP\\MAIN.BIN", "2"),
                MakeFile(kKindEngine2, "THIRD.BIN", "3")};
  PackageLayout layout;
  BuildPackage(spec, &layout);
  // The second record points at the first file's name stamp.
  spec.files[1].dataOffset = layout.records[0].dataOffset;
  UseRecords(spec, kTargetEngine);
  EXPECT_FALSE(Decompress(scope.state, package));
  const std::string box = "Failed to locate compressed data for \r\nAPP\\MAIN.BIN";
  ExpectFailure(box, box + "\r\n", "Failed to locate compressed data for APP\\MAIN.BIN");
  EXPECT_EQ(scope.state.filesStored, 1);
  EXPECT_TRUE(scope.fake.Exists("E:\\FIRST.BIN"));
  EXPECT_FALSE(scope.fake.Exists("E:\\APP"));
  EXPECT_FALSE(scope.fake.Exists("E:\\THIRD.BIN"));
}

TEST(DecompressDamageTest, DataOutsideThePackageIsNotFound) {
  struct Damage {
    std::optional<int32_t> dataOffset, storedSize;
  };
  for (const Damage& damage : {Damage{1 << 30, {}},   // offset past the end
                               Damage{-4, {}},        // negative offset
                               Damage{{}, 1 << 30},   // data running past the end
                               Damage{{}, -1}}) {     // negative stored size
    PackageFileSpec file = MakeFile(kKindCommonRaw, "RAW.BIN", "raw");
    file.dataOffset = damage.dataOffset;
    file.storedSize = damage.storedSize;
    const OneRecordRun run = ExtractOne(file, "E:\\RAW.BIN");
    EXPECT_FALSE(run.result);
    EXPECT_EQ(run.messages,
              std::vector<std::string>{"Failed to locate compressed data for \r\nRAW.BIN"});
    EXPECT_FALSE(run.written);
    EXPECT_EQ(run.filesStored, 0);
  }
}

TEST_F(DecompressTest, DamagedZlibDataFailsWithCodeMinusThree) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "APP\\MAIN.BIN", Binary(3000))};
  std::string bytes = UseRecords(spec, kTargetEngine);
  // The zlib header's check no longer holds.
  bytes[package.fileTable[0].dataOffset + 12] ^= 0x01;
  scope.fake.WriteFile(kPackagePath, bytes);
  EXPECT_FALSE(Decompress(scope.state, package));
  ExpectInflateFailure(-3, "APP\\MAIN.BIN");
  EXPECT_FALSE(scope.fake.Exists("E:\\APP\\MAIN.BIN"));
  EXPECT_EQ(scope.state.filesStored, 0);
}

TEST_F(DecompressTest, StreamLongerThanTheRecordSaysFailsWithoutOverrun) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "LONG.BIN", Binary(4000))};
  spec.files[0].fileSize = 1000;
  UseRecords(spec, kTargetEngine);
  EXPECT_FALSE(Decompress(scope.state, package));
  ExpectInflateFailure(-5, "LONG.BIN");
  EXPECT_FALSE(scope.fake.Exists("E:\\LONG.BIN"));
}

TEST_F(DecompressTest, StreamShorterThanTheRecordSaysFails) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "SHORT.BIN", Binary(1000))};
  spec.files[0].fileSize = 1001;
  UseRecords(spec, kTargetEngine);
  EXPECT_FALSE(Decompress(scope.state, package));
  ExpectInflateFailure(-3, "SHORT.BIN");
  EXPECT_FALSE(scope.fake.Exists("E:\\SHORT.BIN"));
}

// One buffer serves every inflated file: each file after a larger one gets exactly its own
// bytes, and a stream that stops short after a larger file fails instead of leaving the
// larger file's bytes behind.
TEST_F(DecompressTest, FilesAfterALargerOneGetOnlyTheirOwnBytes) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "BIG.BIN", Binary(9000)),
                MakeFile(kKindEngine2, "SMALL.BIN", "small"),
                MakeFile(kKindEngine2, "EMPTY.BIN", ""),
                MakeFile(kKindEngine2, "MID.BIN", std::string(4000, 'm'))};
  Load(spec, kTargetEngine);
  ASSERT_TRUE(Decompress(scope.state, package));
  EXPECT_EQ(scope.fake.ReadFile("E:\\BIG.BIN"), Binary(9000));
  EXPECT_EQ(scope.fake.ReadFile("E:\\SMALL.BIN"), "small");
  EXPECT_EQ(scope.fake.ReadFile("E:\\EMPTY.BIN"), "");
  EXPECT_EQ(scope.fake.ReadFile("E:\\MID.BIN"), std::string(4000, 'm'));
}

TEST_F(DecompressTest, StreamShorterThanTheRecordSaysAfterALargerFileFails) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "BIG.BIN", Binary(9000)),
                MakeFile(kKindEngine2, "SHORT.BIN", Binary(1000))};
  spec.files[1].fileSize = 1001;
  UseRecords(spec, kTargetEngine);
  EXPECT_FALSE(Decompress(scope.state, package));
  ExpectInflateFailure(-3, "SHORT.BIN");
  EXPECT_EQ(scope.fake.ReadFile("E:\\BIG.BIN"), Binary(9000));
  EXPECT_FALSE(scope.fake.Exists("E:\\SHORT.BIN"));
}

TEST_F(DecompressTest, StreamThatNeverEndsFails) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "CUT.BIN", Binary(2000))};
  PackageLayout layout;
  BuildPackage(spec, &layout);
  // The package keeps its bytes, the record claims only part of the stream.
  spec.files[0].storedSize = layout.records[0].storedSize - 10;
  UseRecords(spec, kTargetEngine);
  EXPECT_FALSE(Decompress(scope.state, package));
  ExpectInflateFailure(-5, "CUT.BIN");
  EXPECT_FALSE(scope.fake.Exists("E:\\CUT.BIN"));
}

TEST(DecompressDamageTest, ImpossibleOrNegativeFileSizeFailsBeforeAllocating) {
  for (int32_t fileSize : {0x7FFFFFFF, -1}) {
    PackageFileSpec file = MakeFile(kKindEngine2, "HUGE.BIN", "tiny");
    file.fileSize = fileSize;
    const OneRecordRun run = ExtractOne(file, "E:\\HUGE.BIN");
    EXPECT_FALSE(run.result);
    EXPECT_EQ(run.messages, std::vector<std::string>{"Reinflate Init Failed: -5\r\nHUGE.BIN\r\n"});
    EXPECT_FALSE(run.written);
  }
}

TEST_F(DecompressTest, StoredFileThatCannotBeCreatedFails) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindPanel3950Raw, "Data\\Raw.bin", "raw")};
  Load(spec, kTargetPanel3950);
  scope.fake.FailCall("OpenFile", kErrAccessDenied, 1, "E:\\Data\\Raw.bin");
  EXPECT_FALSE(Decompress(scope.state, package));
  const std::string text = "E:\\Data\\Raw.bin\r\ncould not be opened for storage.\r\n";
  ExpectFailure(text, text, text);
  EXPECT_EQ(scope.state.filesStored, 0);
}

TEST(DecompressDamageTest, InflatedFileThatCannotBeCreatedOrWrittenFails) {
  for (const char* op : {"OpenFile", "Write", "Close"}) {
    const OneRecordRun run =
        ExtractOne(MakeFile(kKindEngine2, "app\\main.bin", "content"), "E:\\APP\\MAIN.BIN", op);
    EXPECT_FALSE(run.result) << op;
    EXPECT_EQ(run.messages,
              std::vector<std::string>{
                  "E:\\APP\\MAIN.BIN\r\ncould not be opened after decompression.\r\n"})
        << op;
    EXPECT_EQ(run.filesStored, 0) << op;
    // A partly written file is not left behind to hold the card's clusters.
    EXPECT_FALSE(run.written) << op;
  }
}

TEST_F(DecompressTest, StopRequestEndsTheJobBeforeTheNextRecord) {
  PackageSpec spec;
  spec.files = {MakeFile(kKindEngine2, "A.BIN", "a")};
  Load(spec, kTargetEngine);
  scope.job.jobRunning = 1;
  scope.job.stopRequested = 1;
  EXPECT_THROW(Decompress(scope.state, package), JobStopped);
  // Still running: the job's end (a restore perhaps) is the worker entry's to finish.
  EXPECT_EQ(scope.job.jobRunning, 1);
  EXPECT_TRUE(scope.FileClosed());
  EXPECT_FALSE(scope.fake.Exists("E:\\A.BIN"));
  EXPECT_EQ(scope.state.filesStored, 0);
}

}  // namespace
}  // namespace cw
