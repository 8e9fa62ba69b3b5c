#include "fat/card_image.h"

#include <unistd.h>

#include <sstream>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace cw::fat {

namespace {

using test::CommandResult;
using test::RunProgram;

// mtools refuses images whose geometry it finds odd unless told not to check.
const test::EnvironmentAdditions kMtoolsEnv = {{"MTOOLS_SKIP_CHECK", "1"}};

CommandResult Mtools(const std::string& tool, const std::string& image,
                     std::vector<std::string> args) {
  std::vector<std::string> argv = {"/usr/bin/" + tool, "-i", image};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, kMtoolsEnv);
}

std::string CardName(const std::string& cardPath) { return "::/" + cardPath; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::optional<CardImage> CardImage::Make(const std::string& path, uint64_t bytes, int fatBits,
                                         std::string* error,
                                         const std::vector<std::string>& extraOptions) {
  ::unlink(path.c_str());
  std::vector<std::string> argv = {"/usr/sbin/mkfs.fat", "-F", std::to_string(fatBits)};
  argv.insert(argv.end(), extraOptions.begin(), extraOptions.end());
  // -C makes the file; its size is given in KiB.
  argv.insert(argv.end(), {"-C", path, std::to_string(bytes / 1024)});
  const CommandResult made = RunProgram(argv);
  if (made.exitCode != 0) {
    *error = "mkfs.fat failed: " + made.out + made.err;
    return std::nullopt;
  }
  return CardImage(path);
}

std::vector<std::string> CardImage::List() const {
  std::vector<std::string> entries;
  for (const std::string& line : Lines(Mtools("mdir", path_, {"-a", "-/", "-b", "::/"}).out)) {
    if (line.rfind("::/", 0) == 0) entries.push_back(line.substr(3));
  }
  return entries;
}

std::map<std::string, std::string> CardImage::Attributes() const {
  std::map<std::string, std::string> attributes;
  // "  A  SHR     ::/NAME": the flags stand in columns before the name.
  for (const std::string& line : Lines(Mtools("mattrib", path_, {"-/", "::/"}).out)) {
    const size_t name = line.find("::/");
    if (name == std::string::npos || line.size() == name + 3) continue;
    std::string letters;
    for (char c : line.substr(0, name)) {
      if (c != ' ') letters += c;
    }
    attributes[line.substr(name + 3)] = letters;
  }
  return attributes;
}

std::optional<std::string> CardImage::Read(const std::string& cardPath) const {
  const CommandResult read = Mtools("mcopy", path_, {"-n", CardName(cardPath), "-"});
  if (read.exitCode != 0) return std::nullopt;
  return read.out;
}

bool CardImage::Put(const std::string& cardPath, const std::string& content) const {
  for (size_t slash = cardPath.find('/'); slash != std::string::npos;
       slash = cardPath.find('/', slash + 1)) {
    Mtools("mmd", path_, {"-D", "s", CardName(cardPath.substr(0, slash))});  // "s": keep it
  }
  const test::TempDir local;
  const std::string file = local.Sub("content");
  if (!test::WriteHostFile(file, content)) return false;
  const CommandResult copied = Mtools("mcopy", path_, {"-o", "-n", file, CardName(cardPath)});
  return copied.exitCode == 0;
}

bool CardImage::MakeFolder(const std::string& cardPath) const {
  return Mtools("mmd", path_, {CardName(cardPath)}).exitCode == 0;
}

bool CardImage::SetAttributes(const std::string& cardPath,
                              const std::vector<std::string>& flags) const {
  std::vector<std::string> args = flags;
  args.push_back(CardName(cardPath));
  return Mtools("mattrib", path_, args).exitCode == 0;
}

CardImage::Check CardImage::Fsck() const {
  const CommandResult checked = RunProgram({"/usr/sbin/fsck.fat", "-n", path_});
  Check check;
  check.report = checked.out + checked.err;
  // fsck.fat -n reports what it would mend but still exits 0 for some of it (a set dirty bit).
  check.clean = checked.exitCode == 0 && check.report.find("Dirty bit") == std::string::npos &&
                check.report.find("\n  ") == std::string::npos;
  return check;
}

}  // namespace cw::fat
