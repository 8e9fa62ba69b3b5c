#pragma once
// Windows wildcard matching of one name, shared by the backends: the POSIX one matches every
// entry with it, the Win32 one keeps only the matches of FindFirstFile whose long name matches
// (Windows also matches a name's 8.3 alias, so "*.FWP" would take "UPGRADE.FWPOLD" through
// "UPGRA~1.FWP").

#include <string>

namespace cw {

// '*' and '?', ASCII case ignored. Windows quirks kept: "*" and "*.*" match every name, dotted
// or not; "NAME.*" also matches "NAME"; "NAME." matches "NAME" (a name without extension).
bool WildcardMatch(const std::string& pattern, const std::string& name);

inline bool HasWildcard(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

}  // namespace cw
