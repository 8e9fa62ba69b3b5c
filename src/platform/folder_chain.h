#pragma once
// The folders above a Windows path, from the top down, as a chain of folders is made.

#include <string>
#include <vector>

namespace cw {

// Every prefix of `path` that ends just before a backslash, top first: "E:\A\B\F.TXT" gives
// "E:", "E:\A", "E:\A\B". A drive's root ("E:") is the first, since a search finds it. A
// network path's server and share ("\\SERVER\share\DOCS\F.TXT" gives only
// "\\SERVER\share\DOCS") are never among them: no program can make them, and a search of a
// share's root finds nothing, so a chain under a redirected Documents folder begins below them.
std::vector<std::string> FolderPrefixes(const std::string& path);

}  // namespace cw
