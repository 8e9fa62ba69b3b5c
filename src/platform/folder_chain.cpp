#include "platform/folder_chain.h"

namespace cw {
namespace {

// Where the prefixes' search begins: after "\\SERVER\share" on a network path, else after the
// first character (index 0 is never a separator worth a prefix).
size_t FirstSearchFrom(const std::string& path) {
  if (path.rfind("\\\\", 0) != 0) return 1;
  const size_t server = path.find('\\', 2);
  if (server == std::string::npos) return path.size();
  const size_t share = path.find('\\', server + 1);
  return share == std::string::npos ? path.size() : share + 1;
}

}  // namespace

std::vector<std::string> FolderPrefixes(const std::string& path) {
  std::vector<std::string> prefixes;
  for (size_t p = path.find('\\', FirstSearchFrom(path)); p != std::string::npos;
       p = path.find('\\', p + 1)) {
    prefixes.push_back(path.substr(0, p));
  }
  return prefixes;
}

}  // namespace cw
