#include "package/card_path.h"

#include <gtest/gtest.h>

namespace cw {
namespace {

TEST(CardPathIsSafeTest, PathsBelowTheCardRootAreSafe) {
  for (const char* path :
       {"NK.BIN", "BREVANT\\APP.EXE", "Quorvane File CRCs 3950.dat", "\\WD\\CRCFile.txt",
        "A\\\\B.TXT", "A.B.C\\.HIDDEN", "..A\\B..", "CONSOLE.TXT", "COM10.TXT", "LPT0", ""}) {
    EXPECT_TRUE(CardPathIsSafe(path)) << path;
  }
}

TEST(CardPathIsSafeTest, PathsThatCanNameAPlaceOutsideTheCardAreNot) {
  for (const char* path :
       {"..", "..\\X", "A\\..\\..\\X", "A\\..", "A/../X", ". .\\X", "...\\X", ".\\X",
        "C:\\X", "c:x", "X:Y", "\\\\SERVER\\SHARE", "\\/X", "//X", "\\\\?\\C:\\X", "CON",
        "con.txt", "A\\aux", "prn .log", "COM1", "lpt9.dat", "A\\NUL\\B"}) {
    EXPECT_FALSE(CardPathIsSafe(path)) << path;
  }
}

}  // namespace
}  // namespace cw
