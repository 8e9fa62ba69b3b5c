// A job reads its package once, at one go: the check, the table, the extraction and the stored
// copies all work from the bytes the load read, and those bytes are let go once nothing needs
// them. A damaged package is still refused with the words it always was.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "job/jobs.h"
#include "job/load_info_array.h"
#include "package/crc_list_writer.h"
#include "package/extraction.h"
#include "package/package_check.h"
#include "package/stored_package_record.h"
#include "record/job_state.h"
#include "support/crc.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"
#include "verify/verify.h"

namespace cw {
namespace {

constexpr const char* kPackage = test::kPackagePath;

class PackageReadOnceTest : public test::JobFixture {
 protected:
  PackageReadOnceTest() {
    ChooseForJob(kPackage);
  }
  void Package(const PackageSpec& spec) { fake.WriteFile(kPackage, bytes_ = BuildPackage(spec)); }
  static PackageSpec EnginePackage(bool panel3950Support) {
    PackageSpec spec;
    spec.panel3950Support = panel3950Support;
    spec.files = {test::MakeFile(kKindEngine2, "APP\\MAIN.BIN", "new main"),
                  test::MakeFile(kKindCommonRaw, "RAW.DAT", "stored as it is"),
                  test::MakeFile(kKindPanel3950, "BREVANT\\P50.EXE", "for the 3950")};
    return spec;
  }
  // An Engine card, known by its stored copy of an older package.
  void OldEngineCard() {
    fake.WriteFile("E:\\UPGRADE.FWP", BuildPackage(test::EngineRelease("old main")));
    fake.WriteFile("E:\\APP\\MAIN.BIN", "old main");
  }
  JobResult Store() {
    PrepareStoreJob(job);
    return DownloadAndVerifyJob(state, request, &found);
  }
  // What the last job found on the card and made of the package.
  JobFindings found;
  // How often the package was opened and read since the calls were last cleared.
  size_t Opens() const { return fake.CallCount("OpenFile", kPackage); }
  size_t Reads() const { return fake.CallCount("Read", kPackage); }

  std::string bytes_;
};

TEST_F(PackageReadOnceTest, AnEngineStoreOpensAndReadsThePackageOnce) {
  OldEngineCard();
  Package(EnginePackage(false));
  EXPECT_EQ(Store().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(job.storeState.load(), kPhaseDone);
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new main");
  EXPECT_EQ(fake.ReadFile("E:\\RAW.DAT"), "stored as it is");
  EXPECT_EQ(fake.ReadFile("E:\\UPGRADE.FWP"), bytes_);  // the copy comes from the same bytes
  EXPECT_EQ(Opens(), 1u);
  EXPECT_EQ(Reads(), 1u);
  EXPECT_TRUE(found.package.packageData.empty());  // let go after the stored copy
}

TEST_F(PackageReadOnceTest, AnEngineStoreWithTwoStoredCopiesReadsThePackageOnce) {
  OldEngineCard();
  Package(EnginePackage(true));
  EXPECT_EQ(Store().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(job.storeState.load(), kPhaseDone);
  EXPECT_TRUE(fake.Exists("E:\\UPGRADE.FWP"));
  EXPECT_TRUE(fake.Exists("E:\\FWP_3950.FWP"));
  EXPECT_EQ(Opens(), 1u);
  EXPECT_EQ(Reads(), 1u);
  EXPECT_TRUE(found.package.packageData.empty());
}

TEST_F(PackageReadOnceTest, APanelStoreReadsThePackageOnce) {
  fake.WriteFile("E:\\NK.BIN", "os");
  fake.WriteFile("E:\\BREVANT\\APP.EXE", "old app");
  fake.WriteFile("E:\\Quorvane File CRCs.dat",
                 BuildCRCList({{"NK.BIN", test::Crc("os")},
                               {"BREVANT\\APP.EXE", test::Crc("old app")}}));
  Package(test::PanelRelease());
  EXPECT_EQ(Store().outcome, JobOutcome::kPassed) << job.diagnosticsText.Get();
  EXPECT_EQ(fake.ReadFile("E:\\BREVANT\\APP.EXE"), "new app");
  EXPECT_EQ(Opens(), 1u);
  EXPECT_EQ(Reads(), 1u);
}

TEST_F(PackageReadOnceTest, AVerifyAgainstThePackageReadsItOnceAndKeepsNoBytes) {
  OldEngineCard();
  Package(EnginePackage(false));
  ASSERT_EQ(Store().outcome, JobOutcome::kPassed);
  fake.ClearCalls();
  PrepareVerifyJob(job);
  EXPECT_EQ(VerifyOnlyJob(state, test::VerifyRequestOf(request), &found).outcome,
            JobOutcome::kPassed)
      << job.diagnosticsText.Get();
  EXPECT_EQ(Opens(), 1u);
  EXPECT_EQ(Reads(), 1u);
  EXPECT_TRUE(found.package.packageData.empty());
}

// The file is not read again after its check, so a package replaced or locked meanwhile no
// longer matters: the card receives exactly the bytes that passed the check.
TEST_F(PackageReadOnceTest, ThePackageChangingAfterItsCheckDoesNotReachTheCard) {
  Package(EnginePackage(false));
  state.globalFWPDataFilePath = kPackage;
  state.targetType = kTargetEngine;
  LoadedPackage package;
  ASSERT_TRUE(LoadInfoArray(state, package, Reference::kStoring, state.globalFWPDataFilePath));
  fake.WriteFile(kPackage, bytes_.substr(0, bytes_.size() / 2));
  fake.FailAlways("OpenFile", kErrSharingViolation, kPackage);
  EXPECT_TRUE(Decompress(state, package));
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new main");
  EXPECT_EQ(fake.ReadFile("E:\\RAW.DAT"), "stored as it is");
  EXPECT_EQ(prompt.Count(), 0u);
}

// The check on the bytes read at one go says what the check on the file says.
class ReadCheckedPackageTest : public test::JobFixture {
 protected:
  PackageLoad Load(const std::string& content, uint64_t maxBytes = 0x7FFFFFFF) {
    fake.WriteFile(kPackage, content);
    std::unique_ptr<File> file = fake.OpenFile(kPackage, OpenMode::Read);
    EXPECT_NE(file, nullptr);
    bytes.assign(3, 7);  // whatever was there before goes
    return file ? ReadCheckedPackage(state, *file, maxBytes, &bytes) : PackageLoad::kUnreadable;
  }
  static std::string WithCrcField(std::string content, uint32_t crc) {
    content.replace(0, 4, test::LittleEndian(crc));
    return content;
  }
  Bytes bytes;
};

TEST_F(ReadCheckedPackageTest, EachOutcomeMatchesTheCheckOnTheFile) {
  const std::string good = BuildPackage(PackageSpec{});
  const std::string unchecked = WithCrcField(good, 0);
  const std::string wrong = WithCrcField(good, 0x12345678);
  struct Case {
    const char* name;
    std::string content;
    uint64_t maxBytes;
    PackageLoad expected;
  };
  const std::vector<Case> cases = {
      {"matching checksum", good, 0x7FFFFFFF, PackageLoad::kPassed},
      {"no checksum", unchecked, 0x7FFFFFFF, PackageLoad::kPassed},
      {"wrong checksum", wrong, 0x7FFFFFFF, PackageLoad::kFailedCheck},
      {"too short for the field", "abc", 0x7FFFFFFF, PackageLoad::kFailedCheck},
      {"empty", "", 0x7FFFFFFF, PackageLoad::kFailedCheck},
      // Too large is said as such, never as a failed check.
      {"larger than allowed, checksum matching", good, good.size() - 1, PackageLoad::kTooLarge},
      {"larger than allowed, no checksum", unchecked, good.size() - 1, PackageLoad::kTooLarge},
      {"larger than allowed, wrong checksum", wrong, good.size() - 1, PackageLoad::kTooLarge},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Load(c.content, c.maxBytes), c.expected) << c.name;
    if (c.expected == PackageLoad::kPassed) {
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.content) << c.name;
    } else {
      EXPECT_TRUE(bytes.empty()) << c.name;
    }
  }
  // Allowed, but more than the memory there is.
  SetAllocationLimit(good.size() - 1);
  EXPECT_EQ(Load(good, 0x7FFFFFFF), PackageLoad::kTooLarge);
  SetAllocationLimit(0);
  EXPECT_TRUE(bytes.empty());
  const std::vector<std::string> lines = LogLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "VerifyFWPFile"), static_cast<long>(cases.size() + 1));
}

TEST_F(ReadCheckedPackageTest, AReadThatFailsIsJudgedAsTheCheckAlwaysJudgedIt) {
  const std::string good = BuildPackage(PackageSpec{});
  // Not even the checksum field reads: the check fails, with or without a checksum.
  fake.FailAlways("Read", kErrDiskFull, kPackage);
  for (const std::string& content : {good, WithCrcField(good, 0)}) {
    EXPECT_EQ(Load(content), PackageLoad::kFailedCheck);
    EXPECT_TRUE(bytes.empty());
    std::unique_ptr<File> file = fake.OpenFile(kPackage, OpenMode::Read);
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(VerifyFWPFile(state, *file));
  }
}

// A record's claims are checked against the bytes before anything is looked at.
TEST(FindRecordDataTest, FindsOnlyDataThatLiesInsideBehindItsNameStamp) {
  PackageLayout layout;
  PackageSpec spec;
  spec.files = {test::MakeFile(kKindCommonRaw, "RAW.BIN", "raw data")};
  const std::string built = BuildPackage(spec, &layout);
  const Bytes package(built.begin(), built.end());
  const FILE_INFO_STRUCT good = layout.records[0];
  std::span<const uint8_t> data;
  ASSERT_TRUE(FindRecordData(package, good, &data));
  EXPECT_EQ(std::string(data.begin(), data.end()), "raw data");

  const auto damaged = [&](auto change) {
    FILE_INFO_STRUCT record = good;
    change(record);
    return FindRecordData(package, record, &data);
  };
  EXPECT_FALSE(damaged([](FILE_INFO_STRUCT& r) { r.dataOffset += 1; }));   // stamp not there
  EXPECT_FALSE(damaged([](FILE_INFO_STRUCT& r) { r.dataOffset = -1; }));
  EXPECT_FALSE(damaged([](FILE_INFO_STRUCT& r) { r.storedSize = -1; }));
  EXPECT_FALSE(damaged([](FILE_INFO_STRUCT& r) { r.storedSize = 1 << 30; }));
  EXPECT_FALSE(damaged([&](FILE_INFO_STRUCT& r) { r.dataOffset = int32_t(package.size()); }));
  // Data ending exactly at the end of the bytes lie inside.
  const Bytes cut(package.begin(), package.begin() + good.dataOffset + 7 + good.storedSize);
  EXPECT_TRUE(FindRecordData(cut, good, &data));
  const Bytes shorter(cut.begin(), cut.end() - 1);
  EXPECT_FALSE(FindRecordData(shorter, good, &data));
}

}  // namespace
}  // namespace cw
