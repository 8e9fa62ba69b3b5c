#include "backup/cleaning.h"

#include <gtest/gtest.h>

#include "support/job_fixture.h"
#include "record/job_io.h"

namespace cw {
namespace {

const char kBackup[] = "C:\\HOME\\TECH\\DOCUMENTS\\BREVANT\\QUORVANE\\QUORVANE_PANEL_CF_BACKUP";

class CleaningTest : public test::JobFixture {
 protected:
  CleaningTest() {
    fake.AddDrive('D', DriveType::Fixed, "NTFS", 1ull << 30);
    fake.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20);
  }
  // Writes each file and returns the list of their paths.
  FileList Files(const FileList& paths, uint32_t attributes = kAttrArchive) {
    for (const std::string& path : paths) fake.WriteFile(path, "x", attributes);
    return paths;
  }
};

TEST_F(CleaningTest, BackupCleaningSparesDriveCOutsideABackupFolder) {
  const std::string inBackup = std::string(kBackup) + "\\BREVANT\\APP.EXE";
  const FileList files = Files({inBackup, "C:\\STRAY.TXT", "D:\\OTHER_BACKUP\\A.TXT"});
  CleanBackupFolder(state, files);
  EXPECT_FALSE(fake.Exists(inBackup));
  EXPECT_TRUE(fake.Exists("C:\\STRAY.TXT"));
  EXPECT_FALSE(fake.Exists("D:\\OTHER_BACKUP\\A.TXT"));
  EXPECT_TRUE(fake.IsFolder(std::string(kBackup) + "\\BREVANT"));  // folders stay
  EXPECT_EQ(job.statusText.Get(), "Cleaning Backup Folder\r\n");
  EXPECT_EQ(job.diagnosticsText.Get(), "Cleaning Backup Folder\r\n");
  EXPECT_EQ(LogLines().front(), "CleanBackupFolder");
}

TEST_F(CleaningTest, ReadOnlyBackupFileIsMadeWritableAndDeleted) {
  const std::string path = std::string(kBackup) + "\\NK.BIN";
  CleanBackupFolder(state, Files({path}, kAttrReadOnly | kAttrArchive));
  EXPECT_FALSE(fake.Exists(path));
  EXPECT_EQ(prompt.Count(), 0u);
}

TEST_F(CleaningTest, CardCleaningDeletesOnlyUnprotectedFilesOfTheMakersFolder) {
  FileList files = Files({"E:\\BREVANT\\APP.EXE", "E:\\BREVANT\\BPANEL.INI",
                          "E:\\BREVANT\\PUBLIC\\LOG.DAT", "E:\\BREVANT\\WD\\CRCFILE.TXT",
                          "E:\\BREVANT\\SCREENS\\MAIN.MKY", "E:\\NK.BIN", "E:\\ROOT.TXT",
                          "E:\\DATA\\BREVANT.TXT", "e:\\brevant\\sub\\lower.txt"});
  CleanCF(state, files, false);

  EXPECT_FALSE(fake.Exists("E:\\BREVANT\\APP.EXE"));
  EXPECT_FALSE(fake.Exists("E:\\BREVANT\\SUB\\LOWER.TXT"));
  for (const char* kept : {"E:\\BREVANT\\BPANEL.INI", "E:\\BREVANT\\PUBLIC\\LOG.DAT",
                           "E:\\BREVANT\\WD\\CRCFILE.TXT", "E:\\BREVANT\\SCREENS\\MAIN.MKY",
                           "E:\\NK.BIN", "E:\\ROOT.TXT", "E:\\DATA\\BREVANT.TXT"}) {
    EXPECT_TRUE(fake.Exists(kept)) << kept;
  }
  EXPECT_EQ(files.back(), "E:\\BREVANT\\SUB\\LOWER.TXT");  // upper-cased in place
  EXPECT_EQ(fake.CallCount("DeleteFile"), 2u);
  EXPECT_EQ(job.statusText.Get(), "Cleaning Compact Flash\r\n");
  EXPECT_EQ(job.diagnosticsText.Get(), "Cleaning Compact Flash\r\n");
}

TEST_F(CleaningTest, FixFileStatusLeavesOnlyTheArchiveBit) {
  for (uint32_t attributes : {kAttrReadOnly, kAttrHidden, kAttrSystem,
                              kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive}) {
    SCOPED_TRACE(attributes);
    fake.WriteFile("E:\\BREVANT\\F.TXT", "content", attributes);
    EXPECT_TRUE(FixFileStatus(state.platform, state, "E:\\BREVANT\\F.TXT"));
    EXPECT_EQ(fake.Attributes("E:\\BREVANT\\F.TXT"), kAttrArchive);
    EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\F.TXT"), "content");
  }
  EXPECT_TRUE(Logged("    obtained file status, attributes: 27"));
  EXPECT_TRUE(Logged("    changing attributes."));
}

TEST_F(CleaningTest, FixFileStatusLeavesAnUnblockedFileAlone) {
  fake.WriteFile("E:\\F.TXT", "x", kAttrArchive);
  EXPECT_TRUE(FixFileStatus(state.platform, state, "E:\\F.TXT"));
  EXPECT_EQ(fake.CallCount("SetFileAttributes"), 0u);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"FixFileStatus", "  E:\\F.TXT",
                                                  "    obtained file status, attributes: 20",
                                                  "    attributes okay.", "    file closed."}));
}

TEST_F(CleaningTest, FixFileStatusOnAMissingFileFails) {
  EXPECT_FALSE(FixFileStatus(state.platform, state, "E:\\GONE.TXT"));
  EXPECT_TRUE(Logged("    failed to open the file."));
  EXPECT_EQ(prompt.Count(), 0u);
}

TEST_F(CleaningTest, AttributesThatCannotBeChangedAreReported) {
  fake.WriteFile("E:\\LOCKED.TXT", "x", kAttrReadOnly);
  fake.FailAlways("SetFileAttributes", kErrAccessDenied);
  EXPECT_FALSE(FixFileStatus(state.platform, state, "E:\\LOCKED.TXT"));
  const std::string message = "E:\\LOCKED.TXT file status could not be correctly modified.";
  EXPECT_TRUE(Logged("    SetStatus exception, cause: 5, IOsError: 5"));
  EXPECT_TRUE(Logged(message));
  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, message);
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::None);
  EXPECT_FALSE(Logged("    file closed."));
}

TEST_F(CleaningTest, UndeletableFileIsReportedAndTheLoopGoesOn) {
  const FileList files = Files({"E:\\A.TXT", "E:\\B.TXT", "E:\\C.TXT"});
  fake.FailAlways("DeleteFile", kErrSharingViolation, "E:\\B.TXT");
  EXPECT_TRUE(DeleteFiles(state, files));
  ASSERT_EQ(prompt.calls().size(), 1u);
  EXPECT_EQ(prompt.calls()[0].text, "Failed to delete the file.");
  EXPECT_EQ(prompt.calls()[0].icon, MessageIcon::None);
  EXPECT_FALSE(fake.Exists("E:\\A.TXT"));
  EXPECT_TRUE(fake.Exists("E:\\B.TXT"));
  EXPECT_FALSE(fake.Exists("E:\\C.TXT"));
  EXPECT_EQ(job.diagnosticsText.Get(), "");
}

TEST_F(CleaningTest, FileThatDoesNotOpenIsSkippedSilently) {
  const FileList files = Files({"E:\\A.TXT"});
  EXPECT_TRUE(DeleteFiles(state, {"E:\\MISSING.TXT", "E:\\A.TXT"}));
  EXPECT_FALSE(fake.Exists("E:\\A.TXT"));
  EXPECT_EQ(fake.CallCount("DeleteFile", "E:\\MISSING.TXT"), 0u);
  EXPECT_EQ(prompt.Count(), 0u);
}

// Records the progress position at each deletion.
class ProgressRecorder : public FakePlatform {
 public:
  explicit ProgressRecorder(const JobContext& job) : job_(job) {}
  bool DeleteFile(const std::string& path) override {
    positions.push_back(job_.progressPos);
    return FakePlatform::DeleteFile(path);
  }
  std::vector<int32_t> positions;

 private:
  const JobContext& job_;
};

TEST_F(CleaningTest, ProgressRunsModulo100) {
  ProgressRecorder recorder(job);
  recorder.AddDrive('E', DriveType::Removable, "FAT", 64ull << 20);
  FileList files;
  for (int i = 0; i < 250; ++i) {
    files.push_back(Format("E:\\F%03d.TXT", i));
    recorder.WriteFile(files.back(), "x");
  }
  job.progressPos = 77;
  JobState onRecorder(recorder, job);
  EXPECT_TRUE(DeleteFiles(onRecorder, files));

  ASSERT_EQ(recorder.positions.size(), 250u);
  for (int i = 0; i < 250; ++i) EXPECT_EQ(recorder.positions[i], i % 100) << i;
  EXPECT_EQ(job.progressMin, 0);
  EXPECT_EQ(job.progressMax, 100);
  EXPECT_EQ(job.progressRangeChanged, 1);
}

TEST_F(CleaningTest, EmptyListStillResetsTheProgressAndLogs) {
  job.progressPos = 42;
  EXPECT_TRUE(DeleteFiles(state, {}));
  EXPECT_EQ(job.progressPos, 0);
  EXPECT_EQ(job.progressMax, 100);
  EXPECT_EQ(job.progressRangeChanged, 1);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"DeleteFiles", "  end DeleteFiles."}));
}

TEST_F(CleaningTest, StopRequestEndsTheLoopAfterTheCurrentFile) {
  const FileList files = Files({"E:\\A.TXT", "E:\\B.TXT", "E:\\C.TXT"});
  job.stopRequested = 1;
  EXPECT_THROW(DeleteFiles(state, files), JobStopped);
  EXPECT_EQ(job.jobRunning, 1);  // the worker entry ends the job, after any restore
  EXPECT_FALSE(fake.Exists("E:\\A.TXT"));
  EXPECT_TRUE(fake.Exists("E:\\B.TXT"));
  EXPECT_TRUE(fake.Exists("E:\\C.TXT"));
  EXPECT_FALSE(Logged("  end DeleteFiles."));
}

}  // namespace
}  // namespace cw
