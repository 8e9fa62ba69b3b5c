#include "support/log_lines.h"

namespace cw {

std::vector<std::string> LogMessages(const std::string& logText) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = logText.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = logText.substr(start, end - start);
    const size_t dash = line.find(" - ");
    lines.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
  }
  return lines;
}

}  // namespace cw
