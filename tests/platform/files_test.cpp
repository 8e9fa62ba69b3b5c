#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/posix/posix_internal.h"
#include "posix_fixture.h"

namespace cw::test {
namespace {

using FileTest = PosixTest;

std::string ReadAll(File& file) {
  std::string content;
  char buffer[7];
  uint32_t got = 0;
  while (file.Read(buffer, sizeof buffer, &got) && got > 0) content.append(buffer, got);
  return content;
}

TEST_F(FileTest, OpenModesCreateTruncateOrKeep) {
  EXPECT_EQ(sys().OpenFile("E:\\F.BIN", OpenMode::ReadWrite), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileNotFound);

  auto file = sys().OpenFile("E:\\F.BIN", OpenMode::CreateNew);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write("hello world", 11));
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(temp_.Read("card/F.BIN"), "hello world");

  file = sys().OpenFile("e:\\f.bin", OpenMode::OpenAlways);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Seek(0, SeekFrom::End));
  ASSERT_TRUE(file->Write("!", 1));
  file.reset();  // the destructor closes too
  EXPECT_EQ(temp_.Read("card/F.BIN"), "hello world!");

  file = sys().OpenFile("E:\\F.BIN", OpenMode::CreateAlways);
  ASSERT_NE(file, nullptr);
  uint64_t size = 99;
  ASSERT_TRUE(file->GetSize(&size));
  EXPECT_EQ(size, 0u);
}

TEST_F(FileTest, ReadSeekTellAndSize) {
  OnCard("DATA.TXT", "0123456789abcdef");
  auto file = sys().OpenFile("E:\\DATA.TXT", OpenMode::Read);
  ASSERT_NE(file, nullptr);
  uint64_t size = 0;
  ASSERT_TRUE(file->GetSize(&size));
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(ReadAll(*file), "0123456789abcdef");
  EXPECT_EQ(file->Tell(), 16);
  ASSERT_TRUE(file->Seek(-6, SeekFrom::End));
  ASSERT_TRUE(file->Seek(2, SeekFrom::Current));
  EXPECT_EQ(file->Tell(), 12);
  EXPECT_EQ(ReadAll(*file), "cdef");
  EXPECT_FALSE(file->Seek(-1, SeekFrom::Begin));
  ASSERT_TRUE(file->Seek(100, SeekFrom::Begin));
  char buffer[4];
  uint32_t got = 9;
  EXPECT_TRUE(file->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(file->Close());
  EXPECT_FALSE(file->Close());
}

TEST_F(FileTest, TwoHandlesShareOneFile) {
  OnCard("SHARED.TXT", "aaaa");
  auto reader = sys().OpenFile("E:\\SHARED.TXT", OpenMode::Read);
  auto writer = sys().OpenFile("E:\\SHARED.TXT", OpenMode::ReadWrite);
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(writer->Write("bb", 2));
  ASSERT_TRUE(writer->Flush());
  EXPECT_EQ(ReadAll(*reader), "bbaa");
}

TEST_F(FileTest, FindListsInDirectoryOrderWithoutDotEntries) {
  for (const char* name : {"b.FWP", "A.fwp", "c.txt", "noext"}) OnCard(std::string("DIR/") + name);
  OnCard("DIR/SUB/inner.fwp");
  std::vector<std::string> hostOrder;
  for (const auto& entry : std::filesystem::directory_iterator(card_ + "/DIR")) {
    hostOrder.push_back(entry.path().filename());
  }
  std::vector<FindEntry> found;
  ASSERT_TRUE(sys().FindFiles("E:\\dir\\*.*", &found));
  std::vector<std::string> names;
  for (const FindEntry& entry : found) names.push_back(entry.name);
  EXPECT_EQ(names, hostOrder);
  for (const FindEntry& entry : found) {
    EXPECT_EQ(entry.IsDirectory(), entry.name == "SUB") << entry.name;
  }

  ASSERT_TRUE(sys().FindFiles("E:\\DIR\\*.FWP", &found));
  names.clear();
  for (const FindEntry& entry : found) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"A.fwp", "b.FWP"}));
}

TEST_F(FileTest, FindWithoutWildcardFindsOneEntryInItsOwnCase) {
  OnCard("Folder/File.Txt", "12345");
  std::vector<FindEntry> found;
  ASSERT_TRUE(sys().FindFiles("E:\\FOLDER\\FILE.TXT", &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "File.Txt");
  EXPECT_EQ(found[0].size, 5u);
  ASSERT_TRUE(sys().FindFiles("E:\\FOLDER", &found));
  EXPECT_TRUE(found[0].IsDirectory());
  // A bare drive is found as its folder, so a folder path can be created from the drive down.
  ASSERT_TRUE(sys().FindFiles("E:", &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found[0].IsDirectory());
  EXPECT_FALSE(sys().FindFiles("Q:", &found));
}

TEST_F(FileTest, FindThatMatchesNothingSaysWhy) {
  OnCard("DIR/a.txt");
  std::vector<FindEntry> found(3);
  EXPECT_FALSE(sys().FindFiles("E:\\DIR\\*.FWP", &found));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_TRUE(found.empty());
  EXPECT_FALSE(sys().FindFiles("E:\\MISSING\\*.*", &found));
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
  EXPECT_FALSE(sys().FindFiles("E:\\DIR\\", &found));  // a trailing backslash finds nothing
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
}

TEST(Wildcards, WindowsRules) {
  using posix::WildcardMatch;
  EXPECT_TRUE(WildcardMatch("*.*", "noext"));
  EXPECT_TRUE(WildcardMatch("*", ".hidden"));
  EXPECT_TRUE(WildcardMatch("*.FWP", "upgrade.fwp"));
  EXPECT_FALSE(WildcardMatch("*.FWP", "upgrade.fwp.bak"));
  EXPECT_FALSE(WildcardMatch("*.FWP", "UPGRADE.FWPOLD"));  // the long name, never its 8.3 alias
  EXPECT_TRUE(cw::WildcardMatch("*.FWP", "A.B.FWP"));      // the backends share one matcher
  EXPECT_TRUE(WildcardMatch("NK.???", "nk.bin"));
  EXPECT_FALSE(WildcardMatch("NK.???", "nk.bi"));
  EXPECT_TRUE(WildcardMatch("A*B*C", "aXXbYYc"));
  EXPECT_FALSE(WildcardMatch("A*B*C", "aXXbYY"));
  EXPECT_TRUE(WildcardMatch("readme.*", "README"));
  EXPECT_TRUE(WildcardMatch("*.", "noext"));
  EXPECT_FALSE(WildcardMatch("*.", "has.ext"));
  EXPECT_TRUE(WildcardMatch("Ü*", "Übung"));
  EXPECT_FALSE(WildcardMatch("ü*", "Übung"));  // case is ignored for ASCII only
}

TEST_F(FileTest, CopyKeepsContentTimesAndAttributes) {
  const std::string source = OnCard("SRC.BIN", std::string(3 << 20, 'q'));
  const auto old = std::filesystem::file_time_type(std::chrono::hours(24 * 365 * 40));
  std::filesystem::last_write_time(source, old);
  ASSERT_TRUE(sys().SetFileAttributes("E:\\SRC.BIN", kAttrHidden | kAttrReadOnly));

  ASSERT_TRUE(sys().CopyFile("E:\\SRC.BIN", "E:\\DST.BIN", true));
  EXPECT_EQ(temp_.Read("card/DST.BIN"), std::string(3 << 20, 'q'));
  EXPECT_EQ(std::filesystem::last_write_time(card_ + "/DST.BIN"), old);
  EXPECT_EQ(sys().GetFileAttributes("E:\\DST.BIN"), kAttrHidden | kAttrReadOnly);
}

TEST_F(FileTest, CopiesEverySizeWholeAroundTheBufferSizes) {
  for (const size_t size : {size_t{0}, size_t{1}, size_t{4095}, size_t{4096}, size_t{4097},
                            (size_t{1} << 20) - 1, (size_t{1} << 20) + 7, size_t{5} << 19}) {
    SCOPED_TRACE(size);
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    OnCard("SIZED.BIN", content);
    ASSERT_TRUE(sys().CopyFile("E:\\SIZED.BIN", "E:\\SIZED2.BIN", false));
    EXPECT_EQ(temp_.Read("card/SIZED2.BIN"), content);
  }
}

TEST_F(FileTest, CopyOverwritesOnlyWhenAllowed) {
  OnCard("SRC.TXT", "new");
  OnCard("DST.TXT", "old");
  EXPECT_FALSE(sys().CopyFile("E:\\SRC.TXT", "E:\\DST.TXT", true));
  EXPECT_EQ(GetLastError(), kErrFileExists);
  EXPECT_EQ(temp_.Read("card/DST.TXT"), "old");
  ASSERT_TRUE(sys().SetFileAttributes("E:\\DST.TXT", kAttrArchive | kAttrSystem));
  EXPECT_TRUE(sys().CopyFile("E:\\SRC.TXT", "E:\\DST.TXT", false));
  EXPECT_EQ(temp_.Read("card/DST.TXT"), "new");
  EXPECT_EQ(sys().GetFileAttributes("E:\\DST.TXT"), kAttrNormal);  // the source's attributes
}

TEST_F(FileTest, CopyRefusesWhatWouldLoseData) {
  OnCard("SELF.TXT", "precious");
  EXPECT_FALSE(sys().CopyFile("E:\\SELF.TXT", "E:\\self.txt", false));
  EXPECT_EQ(GetLastError(), kErrSharingViolation);
  EXPECT_EQ(temp_.Read("card/SELF.TXT"), "precious");

  OnCard("RO.TXT", "kept");
  ASSERT_TRUE(sys().SetFileAttributes("E:\\RO.TXT", kAttrReadOnly));
  EXPECT_FALSE(sys().CopyFile("E:\\SELF.TXT", "E:\\RO.TXT", false));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_EQ(temp_.Read("card/RO.TXT"), "kept");

  ASSERT_TRUE(sys().SetFileAttributes("E:\\RO.TXT", kAttrHidden));
  EXPECT_FALSE(sys().CopyFile("E:\\SELF.TXT", "E:\\RO.TXT", false));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_EQ(temp_.Read("card/RO.TXT"), "kept");

  EXPECT_FALSE(sys().CopyFile("E:\\MISSING.TXT", "E:\\X.TXT", false));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_FALSE(std::filesystem::exists(card_ + "/X.TXT"));
}

// Root may write anything; Windows refuses to open a read-only file or a folder for writing,
// and a refused open leaves the file as it was.
TEST_F(FileTest, OpensForWritingRefuseReadOnlyFilesAndFolders) {
  OnCard("RO.TXT", "kept");
  ASSERT_TRUE(sys().SetFileAttributes("E:\\RO.TXT", kAttrReadOnly));
  ASSERT_TRUE(sys().CreateDirectory("E:\\DIR"));
  for (const OpenMode mode : {OpenMode::ReadWrite, OpenMode::OpenAlways, OpenMode::CreateAlways}) {
    SCOPED_TRACE(static_cast<int>(mode));
    EXPECT_EQ(sys().OpenFile("E:\\RO.TXT", mode), nullptr);
    EXPECT_EQ(GetLastError(), kErrAccessDenied);
    EXPECT_EQ(temp_.Read("card/RO.TXT"), "kept");
    EXPECT_EQ(sys().OpenFile("E:\\DIR", mode), nullptr);
    EXPECT_EQ(GetLastError(), kErrAccessDenied);
  }
  EXPECT_EQ(sys().OpenFile("E:\\RO.TXT", OpenMode::CreateNew), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileExists);
  EXPECT_NE(sys().OpenFile("E:\\RO.TXT", OpenMode::Read), nullptr);
  EXPECT_EQ(sys().OpenFile("E:\\DIR", OpenMode::Read), nullptr);
  EXPECT_EQ(temp_.Read("card/RO.TXT"), "kept");
}

// A link planted where a file is written (in a folder others may write) is never followed,
// whether the file is made, replaced, kept or copied onto. Files to read may be links.
TEST_F(FileTest, NothingWrittenFollowsALinkPlantedInItsPlace) {
  std::filesystem::create_symlink(temp_.Write("theirs.txt", "theirs"), card_ + "/TO_FILE.TXT");
  std::filesystem::create_symlink(temp_.Sub("gone.txt"), card_ + "/TO_NOTHING.TXT");
  OnCard("SOURCE.TXT", "ours");
  for (const char* name : {"E:\\TO_FILE.TXT", "E:\\TO_NOTHING.TXT"}) {
    for (OpenMode mode : {OpenMode::CreateAlways, OpenMode::OpenAlways, OpenMode::ReadWrite})
      EXPECT_EQ(sys().OpenFile(name, mode), nullptr) << name << static_cast<int>(mode);
    EXPECT_FALSE(sys().CopyFile("E:\\SOURCE.TXT", name, false)) << name;
  }
  EXPECT_EQ(temp_.Read("theirs.txt"), "theirs");
  EXPECT_FALSE(std::filesystem::exists(temp_.Sub("gone.txt")));
  EXPECT_NE(sys().OpenFile("E:\\TO_FILE.TXT", OpenMode::Read), nullptr);
}

TEST_F(FileTest, DeleteAndCreateFolder) {
  OnCard("GONE.TXT");
  EXPECT_TRUE(sys().DeleteFile("E:\\gone.txt"));
  EXPECT_FALSE(std::filesystem::exists(card_ + "/GONE.TXT"));
  EXPECT_TRUE(sys().CreateDirectory("E:\\NEW"));
  EXPECT_TRUE(std::filesystem::is_directory(card_ + "/NEW"));
}

// The flush of a backup: one sync of the file system holding the folder; a folder that is not
// there is an error the caller hears of.
TEST_F(FileTest, FlushFilesSyncsTheFolderOrSaysWhyNot) {
  OnCard("BACKUP/A.DAT", "a");
  EXPECT_TRUE(sys().FlushFiles("E:\\BACKUP", {"E:\\BACKUP\\A.DAT"}));
  EXPECT_EQ(GetLastError(), kErrSuccess);
  EXPECT_FALSE(sys().FlushFiles("E:\\MISSING", {}));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
}

}  // namespace
}  // namespace cw::test
