// Files, folders, attributes and error numbers through the Win32 backend: the numbers are the
// ones Windows (here Wine) gives, checked against the values the job code expects.
#include <algorithm>

#include "win32_fixture.h"

namespace cw::test {
namespace {

class Win32Files : public Win32Test {
 protected:
  void Put(const std::string& name, const std::string& bytes) {
    std::unique_ptr<File> file = platform->OpenFile(At(name), OpenMode::CreateAlways);
    ASSERT_NE(file, nullptr) << name << ": error " << GetLastError();
    ASSERT_TRUE(file->Write(bytes.data(), static_cast<uint32_t>(bytes.size())));
    ASSERT_TRUE(file->Close());
  }
  std::string Get(const std::string& name) {
    std::unique_ptr<File> file = platform->OpenFile(At(name), OpenMode::Read);
    if (!file) return "<missing>";
    std::string bytes(4096, '\0');
    uint32_t got = 0;
    if (!file->Read(bytes.data(), static_cast<uint32_t>(bytes.size()), &got)) return "<error>";
    bytes.resize(got);
    return bytes;
  }
};

TEST_F(Win32Files, WriteSeekReadAndSize) {
  std::unique_ptr<File> file = platform->OpenFile(At("a.bin"), OpenMode::CreateNew);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write("hello world", 11));
  EXPECT_EQ(file->Tell(), 11);
  ASSERT_TRUE(file->Seek(6, SeekFrom::Begin));
  char part[5] = {};
  uint32_t got = 0;
  ASSERT_TRUE(file->Read(part, sizeof part, &got));
  EXPECT_EQ(std::string(part, got), "world");
  ASSERT_TRUE(file->Read(part, sizeof part, &got));
  EXPECT_EQ(got, 0u);  // end of file is no error
  uint64_t size = 0;
  ASSERT_TRUE(file->GetSize(&size));
  EXPECT_EQ(size, 11u);
  EXPECT_TRUE(file->Flush());
  EXPECT_TRUE(file->Close());
  EXPECT_FALSE(file->Close());
  EXPECT_EQ(GetLastError(), kErrInvalidHandle);
}

TEST_F(Win32Files, OpenAlwaysKeepsContentAndCreateAlwaysTruncates) {
  Put("log.txt", "first\r\n");
  std::unique_ptr<File> file = platform->OpenFile(At("log.txt"), OpenMode::OpenAlways);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(GetLastError(), kErrSuccess);  // not the 183 Windows leaves for an existing file
  ASSERT_TRUE(file->Seek(0, SeekFrom::End));
  ASSERT_TRUE(file->Write("second\r\n", 8));
  ASSERT_TRUE(file->Close());
  EXPECT_EQ(Get("log.txt"), "first\r\nsecond\r\n");
  Put("log.txt", "new");
  EXPECT_EQ(Get("log.txt"), "new");
}

TEST_F(Win32Files, ErrorNumbersComeFromTheSystem) {
  Put("there.txt", "x");
  EXPECT_EQ(platform->OpenFile(At("missing.txt"), OpenMode::Read), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_EQ(platform->OpenFile(At("no\\such\\folder.txt"), OpenMode::Read), nullptr);
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
  EXPECT_EQ(platform->OpenFile(At("there.txt"), OpenMode::CreateNew), nullptr);
  EXPECT_EQ(GetLastError(), kErrFileExists);
  ASSERT_TRUE(platform->CreateDirectory(At("sub")));
  EXPECT_FALSE(platform->CreateDirectory(At("sub")));
  EXPECT_EQ(GetLastError(), kErrAlreadyExists);
  EXPECT_FALSE(platform->CreateDirectory(At("no\\such\\sub")));
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
  EXPECT_EQ(platform->OpenFile(At("sub"), OpenMode::ReadWrite), nullptr);  // a folder is no file
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_FALSE(platform->DeleteFile(At("missing.txt")));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_EQ(platform->GetFileAttributes(At("missing.txt")), kInvalidAttributes);
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_FALSE(platform->CopyFile(At("there.txt"), At("sub"), false));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  Put("other.txt", "y");
  EXPECT_FALSE(platform->CopyFile(At("there.txt"), At("other.txt"), true));
  EXPECT_EQ(GetLastError(), kErrFileExists);
  EXPECT_EQ(Get("other.txt"), "y");
}

TEST_F(Win32Files, AttributesAreSetAndCleared) {
  Put("f.txt", "x");
  const uint32_t all = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;
  ASSERT_TRUE(platform->SetFileAttributes(At("f.txt"), all));
  EXPECT_EQ(platform->GetFileAttributes(At("f.txt")) & (all | kAttrDirectory), all);
  std::vector<FindEntry> found;
  ASSERT_TRUE(platform->FindFiles(At("F.TXT"), &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].attributes & all, all);

  // Windows keeps a read-only file from being written or deleted, whoever asks.
  EXPECT_EQ(platform->OpenFile(At("f.txt"), OpenMode::ReadWrite), nullptr);
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_FALSE(platform->DeleteFile(At("f.txt")));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  Put("g.txt", "new");
  EXPECT_FALSE(platform->CopyFile(At("g.txt"), At("f.txt"), false));
  EXPECT_EQ(GetLastError(), kErrAccessDenied);
  EXPECT_EQ(Get("f.txt"), "x");

  ASSERT_TRUE(platform->SetFileAttributes(At("f.txt"), kAttrNormal));
  // Windows then reports "normal" (0x80); Wine reports every plain file as "archive".
  EXPECT_EQ(platform->GetFileAttributes(At("f.txt")) & (kAttrReadOnly | kAttrHidden | kAttrSystem),
            0u);
  EXPECT_TRUE(platform->DeleteFile(At("f.txt")));
  EXPECT_EQ(platform->GetFileAttributes(At("f.txt")), kInvalidAttributes);

  ASSERT_TRUE(platform->CreateDirectory(At("d")));
  EXPECT_NE(platform->GetFileAttributes(At("d")) & kAttrDirectory, 0u);
  EXPECT_FALSE(platform->SetFileAttributes(At("gone.txt"), kAttrHidden));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
}

TEST_F(Win32Files, CopyKeepsContentAndAttributes) {
  Put("src.fwp", "package bytes");
  ASSERT_TRUE(platform->SetFileAttributes(At("src.fwp"), kAttrReadOnly | kAttrArchive));
  ASSERT_TRUE(platform->CopyFile(At("src.fwp"), At("copy.fwp"), true));
  EXPECT_EQ(Get("copy.fwp"), "package bytes");
  EXPECT_NE(platform->GetFileAttributes(At("copy.fwp")) & kAttrReadOnly, 0u);
  FindEntry source, copy;
  ASSERT_TRUE(platform->GetFileInfo(At("src.fwp"), &source));
  ASSERT_TRUE(platform->GetFileInfo(At("copy.fwp"), &copy));
  EXPECT_EQ(copy.name, "copy.fwp");
  EXPECT_EQ(copy.size, 13u);
  EXPECT_EQ(copy.writeTime, source.writeTime);
  EXPECT_FALSE(platform->CopyFile(At("missing"), At("x"), false));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
}

// A backup copy keeps the card file's read-only attribute; flushing it needs write access,
// which Windows refuses such a file. The flush still succeeds and the copy keeps its attributes.
TEST_F(Win32Files, FlushTakesReadOnlyCopiesAndLeavesTheirAttributes) {
  const uint32_t protectedBits = kAttrReadOnly | kAttrHidden | kAttrSystem;
  struct Case {
    const char* name;
    uint32_t attributes;
  };
  const Case cases[] = {{"plain.bin", kAttrArchive},
                        {"readonly.bin", kAttrReadOnly | kAttrArchive},
                        {"all.bin", protectedBits | kAttrArchive}};
  std::vector<std::string> paths;
  for (const Case& c : cases) {
    Put(c.name, "backup bytes");
    ASSERT_TRUE(platform->SetFileAttributes(At(c.name), c.attributes));
    paths.push_back(At(c.name));
  }
  ASSERT_EQ(platform->OpenFile(At("readonly.bin"), OpenMode::ReadWrite), nullptr);
  EXPECT_TRUE(platform->FlushFiles(folder, paths)) << "error " << GetLastError();
  for (const Case& c : cases) {
    EXPECT_EQ(platform->GetFileAttributes(At(c.name)) & protectedBits, c.attributes & protectedBits)
        << c.name;
    EXPECT_EQ(Get(c.name), "backup bytes") << c.name;
  }
  paths.push_back(At("missing.bin"));
  EXPECT_FALSE(platform->FlushFiles(folder, paths));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
}

// A backup's whole folder moves into the history by one rename; a copy shows its bytes as it
// makes them, and keeps times and attributes as CopyFile does.
TEST_F(Win32Files, FoldersMoveWholeAndWatchedCopiesShowTheirBytes) {
  for (const char* folder : {"KIND", "KIND\\APP", "HISTORY"})
    ASSERT_TRUE(platform->CreateDirectory(At(folder)));
  Put("KIND\\APP\\MAIN.BIN", "backed up");
  ASSERT_TRUE(platform->MoveFile(At("KIND"), At("HISTORY\\2026-12-08_044512_1234-ABCD")));
  EXPECT_EQ(Get("HISTORY\\2026-12-08_044512_1234-ABCD\\APP\\MAIN.BIN"), "backed up");
  Put("OTHER", "x");
  EXPECT_FALSE(platform->MoveFile(At("OTHER"), At("HISTORY\\2026-12-08_044512_1234-ABCD")));
  EXPECT_EQ(GetLastError(), kErrAlreadyExists);
  EXPECT_FALSE(platform->RemoveDirectory(At("HISTORY")));  // not empty

  struct Seen : CopyWatcher {
    std::string bytes;
    void Copied(const void* data, size_t size) override {
      bytes.append(static_cast<const char*>(data), size);
    }
  } seen;
  ASSERT_TRUE(platform->SetFileAttributes(At("OTHER"), kAttrHidden | kAttrArchive));
  ASSERT_TRUE(platform->CopyFile(At("OTHER"), At("COPY"), false, &seen));
  EXPECT_EQ(seen.bytes, "x");
  EXPECT_EQ(Get("COPY"), "x");
  EXPECT_NE(platform->GetFileAttributes(At("COPY")) & kAttrHidden, 0u);
}

TEST_F(Win32Files, FindListsMatchesWithoutDotEntries) {
  Put("A.FWP", "1");
  Put("b.fwp", "22");
  Put("c.txt", "333");
  ASSERT_TRUE(platform->CreateDirectory(At("DATA")));
  std::vector<FindEntry> found;
  ASSERT_TRUE(platform->FindFiles(At("*.*"), &found));
  std::vector<std::string> names;
  for (const FindEntry& entry : found) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"A.FWP", "DATA", "b.fwp", "c.txt"}));
  for (const FindEntry& entry : found) {
    EXPECT_EQ(entry.IsDirectory(), entry.name == "DATA");
    if (entry.name == "c.txt" || entry.name == "DATA") {
      EXPECT_EQ(entry.size, entry.name == "c.txt" ? 3u : 0u);
    }
  }
  ASSERT_TRUE(platform->FindFiles(At("*.FWP"), &found));
  EXPECT_EQ(found.size(), 2u);  // names match ignoring case
  EXPECT_FALSE(platform->FindFiles(At("*.BIN"), &found));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_TRUE(found.empty());
  EXPECT_FALSE(platform->FindFiles(At("DATA\\"), &found));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_FALSE(platform->FindFiles(At("nowhere\\*.*"), &found));
  EXPECT_EQ(GetLastError(), kErrPathNotFound);
}

// FindFirstFile also matches the 8.3 alias: "UPGRADE.FWPOLD" is "UPGRA~1.FWP" and answers
// "*.FWP" on Windows and Wine alike. The backend keeps only long names that match.
TEST_F(Win32Files, PatternsMatchTheLongNameOnly) {
  ASSERT_TRUE(platform->CreateDirectory(At("OLD")));
  Put("OLD\\UPGRADE.FWPOLD", "old");
  WIN32_FIND_DATAA data;
  const HANDLE raw = ::FindFirstFileA(At("OLD\\*.FWP").c_str(), &data);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE) << "the system no longer matches the 8.3 alias";
  EXPECT_STREQ(data.cFileName, "UPGRADE.FWPOLD");
  ::FindClose(raw);
  std::vector<FindEntry> found;
  EXPECT_FALSE(platform->FindFiles(At("OLD\\*.FWP"), &found));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
  EXPECT_TRUE(found.empty());
  Put("OLD\\UPGRADE.FWP", "new");
  ASSERT_TRUE(platform->FindFiles(At("OLD\\*.FWP"), &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "UPGRADE.FWP");
  ASSERT_TRUE(platform->FindFiles(At("OLD\\*.*"), &found));
  EXPECT_EQ(found.size(), 2u);
  ASSERT_TRUE(platform->FindFiles(At("OLD\\UPGRADE.FWPOLD"), &found));
  EXPECT_EQ(found[0].name, "UPGRADE.FWPOLD");
}

// The data folder's creation tests "C:" before "C:\USERS"; Windows would search C:'s current
// folder instead, and find nothing when that is the root.
TEST_F(Win32Files, ABareDriveIsFoundAsItsRoot) {
  std::vector<FindEntry> found;
  ASSERT_TRUE(::SetCurrentDirectoryA("C:\\"));
  ASSERT_TRUE(platform->FindFiles("C:", &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found[0].IsDirectory());
  EXPECT_EQ(found[0].name, "C:");
  const std::vector<std::string> roots = platform->LogicalDriveStrings();
  for (char letter = 'Z'; letter > 'C'; --letter) {
    if (std::find(roots.begin(), roots.end(), std::string(1, letter) + ":\\") != roots.end()) {
      continue;
    }
    EXPECT_FALSE(platform->FindFiles(std::string(1, letter) + ":", &found));
    EXPECT_NE(GetLastError(), kErrSuccess);
    break;
  }
}

TEST_F(Win32Files, FileInfoNamesTheLastComponent) {
  ASSERT_TRUE(platform->CreateDirectory(At("DATA")));
  FindEntry info;
  ASSERT_TRUE(platform->GetFileInfo(At("DATA\\"), &info));
  EXPECT_EQ(info.name, "DATA");
  EXPECT_TRUE(info.IsDirectory());
  ASSERT_TRUE(platform->GetFileInfo("C:\\", &info));
  EXPECT_EQ(info.name, "");
  EXPECT_FALSE(platform->GetFileInfo(At("none"), &info));
  EXPECT_EQ(GetLastError(), kErrFileNotFound);
}

TEST_F(Win32Files, HostPathsAreFullWindowsPaths) {
  EXPECT_EQ(platform->ToHostPath(At("x\\..\\y.txt")), At("y.txt"));
  ASSERT_TRUE(::SetCurrentDirectoryA(folder.c_str()));
  EXPECT_EQ(platform->GetCurrentDirectory(), folder);
  EXPECT_EQ(platform->ToHostPath("rel.txt"), At("rel.txt"));
  ::SetCurrentDirectoryA("C:\\");
}

}  // namespace
}  // namespace cw::test
