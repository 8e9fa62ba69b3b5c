#include "package/card_path.h"

#include <gtest/gtest.h>

namespace cw {
namespace {

TEST(CardPathIsSafeTest, PathsBelowTheCardRootAreSafe) {
  for (const char* path :
       {"NK.BIN", "BREVANT\\APP.EXE", "Quorvane File CRCs 3950.dat", "\\WD\\CRCFile.txt",
        "A\\\\B.TXT", "A.B.C\\.HIDDEN", "..A\\B", "CONSOLE.TXT", "COM10.TXT", "LPTX", "COM\xC2\xB9X",
        "LPT\xC2\xB4", "COM\xB4.TXT", "A. B\\C", " A\\B", ""}) {
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

// Windows drops a component's trailing dots and blanks and opens COM0, LPT0 and the superscript
// forms (UTF-8 or the single ANSI byte) as devices, in any case and with any extension.
TEST(CardPathIsSafeTest, NamesWindowsWouldChangeAreNot) {
  for (const char* path :
       {"A.", "A.\\B", "A \\B", "X\\B..", "APP.EXE ", "APP.EXE. .", "COM0", "lpt0.txt",
        "Com0.a.b", "A\\LPT0\\B", "COM\xC2\xB9", "com\xC2\xB2.txt", "LPT\xC2\xB3",
        "lpt\xC2\xB9.LOG", "COM\xB9", "LPT\xB2.TXT", "com\xB3", "COM0 .TXT"}) {
    EXPECT_FALSE(CardPathIsSafe(path)) << path;
  }
}

}  // namespace
}  // namespace cw
