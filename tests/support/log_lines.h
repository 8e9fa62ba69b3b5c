#pragma once
// Reading a diagnostic log back in tests.

#include <string>
#include <vector>

namespace cw {

// The messages of a log's lines (CR LF separated), each without its timestamp prefix.
std::vector<std::string> LogMessages(const std::string& logText);

}  // namespace cw
