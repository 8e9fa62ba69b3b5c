#pragma once
// Test-side conveniences on top of the package writer: small builders for packages and files.

#include <string>
#include <vector>

#include "package/package_writer.h"

namespace cw::test {

// A file of the given kind whose checkPath equals its cardPath.
PackageFileSpec MakeFile(int32_t kind, const std::string& cardPath,
                         const std::string& content = "content");

// An Engine release: "APP\\MAIN.BIN" (kind 2) holding `main` and, unless `library` is empty,
// "APP\\LIB\\UTIL.DLL" (kind 7) holding `library`. Its generator is V2.15 B, unlike the
// default, so that a store's copy of the version values shows where they came from.
PackageSpec EngineRelease(const std::string& main = "new main", const std::string& library = "");

// An Engine release with a file of each group: "APP\\MAIN.BIN" holding `main`, the kind-7
// "APP\\TABLES.DAT", the common "CONFIG\\UNITS.TXT" and the stored-as-is "DOCS\\README.TXT",
// and a 3940 and a 3950 panel file, which an Engine card never receives. Release 42, Engine
// V2.15 B.
PackageSpec FullEngineRelease(const std::string& main);

// A 3940 panel release: its OS image "NK.BIN", "BREVANT\APP.EXE" holding `app`,
// "BREVANT\HELP.TXT", and last its CRC list naming the three (a panel's list comes last and
// needs that many records for its reader to reach each entry), release number 0x01020304.
PackageSpec PanelRelease(const std::string& app = "new app");

// Two records are equal byte for byte.
bool SameRecord(const FILE_INFO_STRUCT& a, const FILE_INFO_STRUCT& b);

// The 4 little-endian bytes of a 32-bit value.
std::string LittleEndian(uint32_t value);

}  // namespace cw::test
