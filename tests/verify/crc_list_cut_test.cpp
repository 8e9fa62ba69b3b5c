// A CRC list cut short must not pass for a shorter list: the entries it lost would go
// unchecked, and a verification with nothing left to check reports the card good.
#include <gtest/gtest.h>

#include "record/job_state.h"
#include "package/crc_list_writer.h"
#include "record/file_table.h"
#include "support/package_builder.h"
#include "verify/crc_list.h"

namespace cw {
namespace {

constexpr const char* kList = "E:\\Quorvane File CRCs.dat";

class CRCListCutTest : public ::testing::Test {
 protected:
  CRCListCutTest() { scope.state.targetType = kTargetPanel3940; }
  bool Load(const std::string& bytes) {
    scope.fake.WriteFile(kList, bytes);
    return LoadArrayFromCRCFile(scope.state, kList);
  }
  test::JobScope scope;
};

TEST_F(CRCListCutTest, ListCutAnywhereIsDamagedAndAddsNothing) {
  const std::string whole =
      BuildCRCList({{"NK.BIN", 1}, {"BREVANT\\APP.EXE", 2}, {"BREVANT\\LIB.DLL", 3}});
  for (size_t size = 0; size < whole.size(); ++size) {
    scope.state.fileTable.clear();
    EXPECT_FALSE(Load(whole.substr(0, size))) << size;
    EXPECT_TRUE(scope.state.fileTable.empty()) << size;
  }
  EXPECT_EQ(scope.prompt.Count(kMsgCRCListDamaged), whole.size());
  EXPECT_NE(scope.job.diagnosticsText.Get().find(kMsgCRCListDamaged), std::string::npos);
}

TEST_F(CRCListCutTest, WholeListsAndTheEmptyListStillLoad) {
  EXPECT_TRUE(Load(BuildCRCList({{"NK.BIN", 1}, {"BREVANT\\APP.EXE", 2}})));
  ASSERT_EQ(scope.state.fileTable.size(), 1u);  // NK.BIN is exempt
  EXPECT_EQ(FieldText(scope.state.fileTable[0].cardPath), "BREVANT\\APP.EXE");
  scope.state.fileTable.clear();
  EXPECT_TRUE(Load(BuildCRCList({})));
  EXPECT_TRUE(scope.state.fileTable.empty());
  EXPECT_EQ(scope.prompt.Count(), 0u);
}

// The end marker ends the list: what a saved list carries after it is not read.
TEST_F(CRCListCutTest, BytesAfterTheEndMarkerAreNotRead) {
  EXPECT_TRUE(Load(BuildCRCList({{"BREVANT\\APP.EXE", 2}}) + "BREVANT\\"));
  ASSERT_EQ(scope.state.fileTable.size(), 1u);
  EXPECT_EQ(scope.state.fileTable[0].fileCrc, 2u);
}

}  // namespace
}  // namespace cw
