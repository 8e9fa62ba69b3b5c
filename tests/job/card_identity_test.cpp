// A card is known by who it is: another card put in the slot while a job runs is never written,
// the job says which card it expected and found, and ends with how it left the first card
// unless that card comes back.
#include <gtest/gtest.h>

#include <functional>

#include "card/card_identity.h"
#include "job/card_check.h"
#include "job/jobs.h"
#include "package/package_writer.h"
#include "support/job_fixture.h"

namespace cw {
namespace {

constexpr const char* kQuestion =
    "The card in E: is not the card this job began with (serial AAAA-0001, found BBBB-0002). "
    "Nothing was written to it. Put the first card back and choose OK, or Cancel.";
constexpr const char* kLibPath = "E:\\APP\\LIB.BIN";

PackageSpec Engine(const std::string& content) {
  PackageSpec spec;
  spec.files.push_back({.kind = kKindEngine2, .cardPath = "APP\\MAIN.BIN", .content = content});
  spec.files.push_back({.kind = kKindEngine2, .cardPath = "APP\\LIB.BIN", .content = content + "!"});
  return spec;
}

// An Engine card (serial AAAA-0001) with an older release, a package of a newer one, and
// beside the slot another card (serial BBBB-0002) holding one file of its own.
class CardIdentityTest : public test::JobFixture {
 public:
  CardIdentityTest() {
    ChooseForJob(test::kPackagePath);
    fake.SetSerialNumber('E', 0xAAAA0001);
    fake.WriteFile("E:\\UPGRADE.FWP", BuildPackage(Engine("old")));
    fake.WriteFile("E:\\APP\\MAIN.BIN", "old");
    fake.WriteFile(kLibPath, "old!");
    PutPackage(Engine("new"));
    fake.SetOtherCard('E', 0xBBBB0002);
    fake.SwapCards('E');
    fake.WriteFile("E:\\OTHER.TXT", "other card");
    fake.SwapCards('E');
    prompt.SetDefaultAnswer(MessageResult::Cancel);
  }
  JobResult Store(bool restoreOnly = false) {
    job.restoreOnly = restoreOnly ? 1 : 0;
    PrepareStoreJob(job);
    if (!restoreOnly) prompt.QueueAnswer(MessageResult::Ok);  // "All files will be replaced"
    return DownloadAndVerifyJob(state);
  }
  // The other card as it was put beside the slot: one file, unchanged.
  void ExpectOtherCardUntouched() {
    EXPECT_EQ(fake.List("E:"), std::vector<std::string>{"OTHER.TXT"});
    EXPECT_EQ(fake.ReadFile("E:\\OTHER.TXT"), "other card");
    EXPECT_EQ(fake.Attributes("E:\\OTHER.TXT"), kAttrArchive);
  }
};

struct ReplacedCase {
  const char* name;
  std::function<void(CardIdentityTest&)> arrange;  // where the other card takes the slot
  const char* firstCardLeft;                        // what the last message says of the first
  bool restoreOnly = false;
};
void PrintTo(const ReplacedCase& c, std::ostream* os) { *os << c.name; }

class CardReplacedAt : public CardIdentityTest,
                       public ::testing::WithParamInterface<ReplacedCase> {};

TEST_P(CardReplacedAt, TheOtherCardIsUntouchedAndTheJobSaysHowTheFirstWasLeft) {
  const ReplacedCase& c = GetParam();
  c.arrange(*this);
  const size_t earlier = job.diagnosticsText.Get().size();  // a first job's transcript
  const JobResult result = Store(c.restoreOnly);
  const std::string transcript = job.diagnosticsText.Get().substr(earlier);

  EXPECT_EQ(result.outcome, JobOutcome::kCardReplaced);
  EXPECT_STREQ(OutcomeName(result.outcome), "card_replaced");
  EXPECT_EQ(result.card.serial, 0xAAAA0001u);
  ExpectOtherCardUntouched();
  EXPECT_EQ(prompt.Count(kQuestion), 1u);
  ASSERT_GT(prompt.Count(), 0u);
  const std::string last = prompt.messages().back();
  EXPECT_EQ(last.rfind("The card in E: is not the card this job began with (serial AAAA-0001, "
                       "found BBBB-0002). Nothing was written to it.\r\nThe job ended. The first "
                       "card (serial AAAA-0001) ", 0),
            0u)
      << last;
  EXPECT_NE(last.find(c.firstCardLeft), std::string::npos) << last;
  EXPECT_NE(transcript.find(last), std::string::npos);
  EXPECT_TRUE(Logged("  the job ended: the first card was not put back."));
  EXPECT_EQ(job.statusText.Get(),
            "The job ended: the card in the slot is not the card it began with.");
  EXPECT_EQ(transcript.find("Restore OK!!"), std::string::npos);
  EXPECT_EQ(transcript.find("Download Complete."), std::string::npos);
}

// The failed store of these cases: the second file of the package cannot be written.
void FailSecondFile(CardIdentityTest& t) { t.fake.FailCall("Write", kErrDiskFull, 1, kLibPath); }

INSTANTIATE_TEST_SUITE_P(
    EachCheck, CardReplacedAt,
    ::testing::Values(
        ReplacedCase{"AtTheEjectsRemoveAndReinsert",
                     [](CardIdentityTest& t) {
                       t.fake.SetStaysMounted('E', true);
                       t.prompt.WhileShown([&t](const std::string& text) {
                         if (text.find("Please remove it manually") != std::string::npos)
                           t.fake.SwapCards('E');
                       });
                     },
                     "holds the new files but was not verified.\r\nTo finish with it, put it "
                     "back and run: cardwright verify --card E:\r\n(if that fails: cardwright "
                     "store --card E: --restore-only)"},
        ReplacedCase{"AtTheRemountAfterTheEject",
                     [](CardIdentityTest& t) { t.fake.SwapCardsAt('E', "DismountVolume", 1, 1); },
                     "holds the new files but was not verified."},
        ReplacedCase{"RightBeforeTheVerification",
                     [](CardIdentityTest& t) { t.fake.SwapCardsAt('E', "DismountVolume", 1, 2); },
                     "holds the new files but was not verified."},
        ReplacedCase{"BeforeTheUpgradeRecord",
                     [](CardIdentityTest& t) { t.fake.SwapCardsAt('E', "DismountVolume", 1, 3); },
                     "holds the new files and verified; only its upgrade record was not added."},
        ReplacedCase{"BeforeAFailedStoresRestore",
                     [](CardIdentityTest& t) {
                       FailSecondFile(t);
                       t.fake.SwapCardsAt('E', "Write", 1, 1, kLibPath);
                     },
                     "holds files of this job; its backup was not put back.\r\nTo finish with "
                     "it, put it back and run: cardwright store --card E: --restore-only"},
        ReplacedCase{"AtTheRestoresEject",
                     [](CardIdentityTest& t) {
                       FailSecondFile(t);
                       t.fake.SwapCardsAt('E', "DismountVolume", 1, 1);
                     },
                     "is partly restored: its backup's files are back but were not verified."},
        ReplacedCase{"BeforeRestoreOnly",
                     [](CardIdentityTest& t) {
                       ASSERT_EQ(t.Store().outcome, JobOutcome::kPassed);
                       // Stage 2's volume query, the identity's, then the restore's check.
                       t.fake.SwapCardsAt('E', "", 0, 3);
                     },
                     "is unchanged.", true}),
    [](const ::testing::TestParamInfo<ReplacedCase>& info) { return info.param.name; });

TEST_F(CardIdentityTest, TheFirstCardPutBackLetsTheJobGoOnToDone) {
  fake.SwapCardsAt('E', "DismountVolume", 1, 1);
  prompt.WhileShown([this](const std::string& text) {
    if (text == kQuestion) fake.SwapCards('E');
  });
  prompt.QueueAnswer(MessageResult::Ok);  // "All files will be replaced"
  prompt.QueueAnswer(MessageResult::Ok);  // the first card is back
  PrepareStoreJob(job);
  const JobResult result = DownloadAndVerifyJob(state);
  EXPECT_EQ(result.outcome, JobOutcome::kPassed);
  EXPECT_EQ(job.statusText.Get(), "Done!");
  EXPECT_TRUE(Logged("  the first card is back in E:."));
  EXPECT_EQ(fake.ReadFile("E:\\APP\\MAIN.BIN"), "new");
  fake.SwapCards('E');
  ExpectOtherCardUntouched();
}

TEST_F(CardIdentityTest, AVerificationOfAReplacedCardGivesNoVerdict) {
  job.flashPath = test::kCard;
  job.fwpPath = "";
  PrepareVerifyJob(job);
  // Stage 2's query, the identity's, the check before the reading, then the one after it.
  fake.SwapCardsAt('E', "", 0, 4);
  const JobResult result = VerifyOnlyJob(state);
  EXPECT_EQ(result.outcome, JobOutcome::kCardReplaced);
  EXPECT_EQ(result.check, Verdict::kNone);
  EXPECT_EQ(result.card.serial, 0xAAAA0001u);
  EXPECT_EQ(result.card.bytes, 64ull << 20);
  EXPECT_TRUE(Logged("  card identity: serial AAAA-0001, label \"\", 67108864 bytes, FAT"));
  EXPECT_NE(job.diagnosticsText.Get().find(
                "Card E: serial AAAA-0001, label \"\", 67108864 bytes, FAT\r\n"),
            std::string::npos);
  EXPECT_EQ(prompt.Count(kQuestion), 1u);
  ASSERT_GT(prompt.Count(), 0u);
  EXPECT_NE(prompt.messages().back().find("was not verified: there is no verdict on either card."),
            std::string::npos);
  ExpectOtherCardUntouched();
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
  other = first;
  other.hasFolder = false;  // a platform that cannot tell the folder
  EXPECT_TRUE(SameCard(first, other));
  other.serial = 0;  // nor the serial
  other.bytes = 200;
  EXPECT_FALSE(SameCard(first, other));
  EXPECT_EQ(CardDifference(first, other), "serial 1234-0001, found unknown");
  CardIdentity unnamed = first;
  unnamed.serial = 0;
  unnamed.label.clear();
  EXPECT_EQ(DescribeCard(unnamed), "100 bytes");
  CardIdentity bigger = unnamed;
  bigger.bytes = 200;
  EXPECT_EQ(CardDifference(unnamed, bigger), "100 bytes, found 200 bytes");
}

}  // namespace
}  // namespace cw
