// A card is known by who it is: another card put in the slot while a job runs is never written,
// the job says which card it expected and found, and ends with how it left the first card
// unless that card comes back.
#include <gtest/gtest.h>

#include "card/card_identity.h"
#include "job/jobs.h"
#include "package/package_writer.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

namespace cw {
namespace {

using test::EngineRelease;

constexpr const char* kWhat = "The card in E: is not the card this job began with (serial "
                              "AAAA-0001, found BBBB-0002). Nothing was written to it.";
const std::string kQuestion =
    std::string(kWhat) + " Put the first card back and choose OK, or Cancel.";
const std::string kEnded =
    std::string(kWhat) + "\r\nThe job ended. The first card (serial AAAA-0001) ";
constexpr const char* kLibPath = "E:\\APP\\LIB\\UTIL.DLL";

enum Job { kStore, kFailedStore, kRestoreOnly, kVerify };  // a failed store: UTIL.DLL's write

// An Engine card (serial AAAA-0001) with an older release and a package of a newer one; beside
// the slot the other card (serial BBBB-0002) holds one file of its own. Questions are cancelled.
struct Slot : test::JobScope {
  Slot() {
    ChooseForJob(test::kPackagePath);
    fake.SetSerialNumber('E', 0xAAAA0001);
    fake.WriteFile("E:\\UPGRADE.FWP", BuildPackage(EngineRelease("old", "old!")));
    fake.WriteFile("E:\\APP\\MAIN.BIN", "old");
    fake.WriteFile(kLibPath, "old!");
    PutPackage(EngineRelease("new", "new!"));
    fake.SwapCards('E');
    fake.WriteFile("E:\\OTHER.TXT", "other card");
    fake.SwapCards('E');
    prompt.SetDefaultAnswer(MessageResult::Cancel);
  }
  JobResult Run(Job kind = kStore) {
    if (kind == kVerify) {
      request.cardPath = test::kCard;
      request.packagePath = "";
      PrepareVerifyJob(job);
      return VerifyOnlyJob(state, test::VerifyRequestOf(request));
    }
    request.backup.restoreOnly = kind == kRestoreOnly;
    PrepareStoreJob(job);
    if (kind != kRestoreOnly) prompt.QueueAnswer(MessageResult::Ok);  // "All files will be..."
    return DownloadAndVerifyJob(state, request);
  }
  void ExpectOtherCardUntouched() {
    EXPECT_EQ(fake.List("E:"), std::vector<std::string>{"OTHER.TXT"});
    EXPECT_EQ(fake.ReadFile("E:\\OTHER.TXT"), "other card");
    EXPECT_EQ(fake.Attributes("E:\\OTHER.TXT"), kAttrArchive);
  }
};

TEST(CardIdentityTest, AnotherCardAtEachCheckIsUntouchedAndTheJobSaysHowTheFirstWasLeft) {
  struct Row {
    Job job;
    const char* op;       // the other card comes in at the nthQuery-th volume query after the
    int nthOp, nthQuery;  // nthOp-th call of op (a Write: UTIL.DLL's); no op: the user swaps
    const char* left;     // as the eject asks for the card back. How the first card was left.
  } rows[] = {
      {kStore, nullptr, 0, 0,
       "holds the new files but was not verified.\r\nTo finish with it, put it back and run: "
       "cardwright verify --card E:\r\n(if that fails: cardwright store --card E: --restore-only)"},
      {kStore, "DismountVolume", 1, 1, "holds the new files but was not verified."},  // remount
      {kStore, "DismountVolume", 1, 2, "holds the new files but was not verified."},  // verify
      {kStore, "DismountVolume", 1, 3,
       "holds the new files and verified; only its upgrade record was not added."},
      {kFailedStore, "Write", 1, 1,  // before the restore
       "holds files of this job; its backup was not put back.\r\nTo finish with it, put it back "
       "and run: cardwright store --card E: --restore-only"},
      {kFailedStore, "DismountVolume", 1, 1,  // at the restore's eject
       "is partly restored: its backup's files are back but were not verified."},
      // Stage 2's volume query, the identity's, then the restore's check.
      {kRestoreOnly, "", 0, 3, "is unchanged."},
      // Stage 2's query, the identity's, the check before the reading, then the one after it.
      {kVerify, "", 0, 4, "was not verified: there is no verdict on either card."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.job << " " << (r.op ? r.op : "eject") << r.nthQuery);
    Slot s;
    if (r.job == kFailedStore) s.fake.FailCall("Write", kErrDiskFull, 1, kLibPath);
    if (r.job == kRestoreOnly) {
      ASSERT_EQ(s.Run().outcome, JobOutcome::kPassed);
    }
    if (r.op == nullptr) {
      s.fake.SetStaysMounted('E', true);
      s.prompt.whileShown = [&s](const std::string& text) {
        if (text.find("Please remove it manually") != std::string::npos) s.fake.SwapCards('E');
      };
    } else {
      s.fake.SwapCards('E', r.nthQuery, r.op, r.nthOp, *r.op == 'W' ? kLibPath : "");
    }
    const size_t earlier = s.job.diagnosticsText.Get().size();  // a first job's transcript
    const JobResult result = s.Run(r.job);
    const std::string transcript = s.job.diagnosticsText.Get().substr(earlier);

    EXPECT_EQ(result.outcome, JobOutcome::kCardReplaced);
    EXPECT_EQ(result.card.serial, 0xAAAA0001u);
    EXPECT_EQ(result.card.bytes, 64ull << 20);
    s.ExpectOtherCardUntouched();
    ASSERT_EQ(s.prompt.Count(kQuestion), 1u);
    const std::string last = s.prompt.messages().back();
    EXPECT_EQ(last.rfind(kEnded + r.left, 0), 0u) << last;
    EXPECT_NE(transcript.find(last), std::string::npos);
    EXPECT_TRUE(s.Logged("  card identity: serial AAAA-0001, label \"\", 67108864 bytes, FAT"));
    EXPECT_TRUE(s.Logged("  the job ended: the first card was not put back."));
    EXPECT_EQ(s.job.statusText.Get(),
              "The job ended: the card in the slot is not the card it began with.");
    for (const char* claim : {"Restore OK!!", "Download Complete."})
      EXPECT_EQ(transcript.find(claim), std::string::npos) << claim;
    if (r.job == kVerify) {
      EXPECT_EQ(result.check, Verdict::kNone);
      EXPECT_NE(transcript.find("Card E: serial AAAA-0001, label \"\", 67108864 bytes, FAT\r\n"),
                std::string::npos);
    }
  }
}

TEST(CardIdentityTest, TheFirstCardPutBackLetsTheJobGoOnToDone) {
  Slot s;
  s.fake.SwapCards('E', 1, "DismountVolume", 1);
  s.prompt.whileShown = [&s](const std::string& text) {
    if (text == kQuestion) s.fake.SwapCards('E');
  };
  s.prompt.QueueAnswer(MessageResult::Ok);  // the first card is back
  EXPECT_EQ(s.Run().outcome, JobOutcome::kPassed);
  EXPECT_EQ(s.job.statusText.Get(), "Done!");
  EXPECT_TRUE(s.Logged("  the first card is back in E:."));
  EXPECT_EQ(s.fake.ReadFile("E:\\APP\\MAIN.BIN"), "new");
  s.fake.SwapCards('E');
  s.ExpectOtherCardUntouched();
}

// A folder put in the mapped folder's place, with the serial number the mapping states: another
// card all the same; with neither serial nor folder told, the label and size tell cards apart.
TEST(CardIdentity, AnyFieldBothSidesKnowTellsCardsApart) {
  const CardIdentity first{.present = true, .letter = "E:", .serial = 0x12340001, .label = "A",
                           .bytes = 100, .fileSystem = "FAT", .hasFolder = true,
                           .folderDevice = 8, .folderNode = 5};
  CardIdentity other = first;
  other.folderNode = 6;
  EXPECT_FALSE(SameCard(first, other));
  EXPECT_EQ(CardDifference(first, other), "serial 1234-0001 in folder 8:5, found folder 8:6");
  other.hasFolder = false;  // a platform that cannot tell the folder
  EXPECT_TRUE(SameCard(first, other));
  other.serial = 0;  // nor the serial
  other.bytes = 200;
  EXPECT_FALSE(SameCard(first, other));
  EXPECT_EQ(CardDifference(first, other), "100 bytes, found 200 bytes");
  other.label.clear();
  CardIdentity unnamed = other;
  unnamed.bytes = 100;
  EXPECT_EQ(DescribeCard(unnamed), "100 bytes");
  EXPECT_EQ(CardDifference(unnamed, other), "100 bytes, found 200 bytes");
}

}  // namespace
}  // namespace cw
