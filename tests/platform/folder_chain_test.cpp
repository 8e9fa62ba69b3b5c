// The folders a chain of folders is made of: below a drive's root, and below a network share
// (a redirected Documents folder), whose server and share are never among them.
#include "platform/folder_chain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cw {
namespace {

TEST(FolderPrefixes, BelowADriveOrAShareOnlyTheFoldersThatMayBeMade) {
  const struct {
    std::string path;
    std::vector<std::string> folders;
  } cases[] = {
      {"E:\\A\\B\\F.TXT", {"E:", "E:\\A", "E:\\A\\B"}},
      {"E:\\A\\B\\", {"E:", "E:\\A", "E:\\A\\B"}},
      {"E:\\F.TXT", {"E:"}},
      {"E:", {}},
      {"\\\\SERVER\\share\\DOCS\\BREVANT\\QUORVANE",
       {"\\\\SERVER\\share\\DOCS", "\\\\SERVER\\share\\DOCS\\BREVANT"}},
      {"\\\\SERVER\\share\\DOCS\\", {"\\\\SERVER\\share\\DOCS"}},
      {"\\\\SERVER\\share\\F.TXT", {}},
      {"\\\\SERVER\\share", {}},
      {"\\\\SERVER", {}},
      {"A\\B", {"A"}},
  };
  for (const auto& c : cases) EXPECT_EQ(FolderPrefixes(c.path), c.folders) << c.path;
}

}  // namespace
}  // namespace cw
