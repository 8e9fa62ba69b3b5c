// `cardwright inspect FILE`: a package's versions, header values and whole file table, read
// with the loader's own checks but without its target filter.

#include <cstdio>
#include <iostream>

#include "cli/command.h"
#include "job/job_io.h"
#include "package/byte_reader.h"
#include "package/package_parser.h"
#include "package/version_block.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace cw::cli {
namespace {

// Messages carry CR LF for message boxes; a terminal wants plain line ends.
void PrintError(const std::string& message) {
  std::string text = ReplaceAll(message, "\r\n", "\n");
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::cerr << text << "\n";
}

std::string Letter(char letter) {
  const unsigned char code = static_cast<unsigned char>(letter);
  if (code > 0x20 && code < 0x7F) return std::string(1, letter);
  return code == 0 ? "(none)" : Format("0x%02X", code);
}

void PrintVersions(const VersionBlockRead& read) {
  if (!read.found) {
    std::cout << "Version block: not found\n";
    return;
  }
  std::cout << (read.engine ? ComposeVersionText(kEngineVersionPrefix, *read.engine)
                            : std::string(kEngineVersionPrefix) + "(not read)")
            << "\n";
  std::cout << (read.panel ? ComposeVersionText(kPanelVersionPrefix, *read.panel)
                           : std::string(kPanelVersionPrefix) + "(not read)")
            << "\n";
  auto number = [](const std::optional<int32_t>& v) {
    return v ? std::to_string(*v) : std::string("(not read)");
  };
  auto letter = [](const std::optional<char>& v) {
    return v ? Letter(*v) : std::string("(not read)");
  };
  std::cout << "Format version: " << number(read.formatVersion) << "\n"
            << "Format revision: " << number(read.formatRevision) << "\n"
            << "Format letter: " << letter(read.formatLetter) << "\n";
  if (!read.generatorSearched) {
    std::cout << "Generator: not read before format 1.008\n";
  } else {
    std::cout << "Generator version: " << number(read.generatorVersion) << "\n"
              << "Generator revision: " << number(read.generatorRevision) << "\n"
              << "Generator letter: " << letter(read.generatorLetter) << "\n";
  }
  if (read.truncated) std::cout << "Version block: the file ends inside it\n";
}

class InspectCommand : public Command {
 public:
  const char* Name() const override { return "inspect"; }
  const char* Description() const override {
    return "Show a package's versions, header values and file table";
  }
  void Define(CLI::App& sub) override {
    sub.add_option("FILE", path_, "the package (.FWP)")->required();
  }
  int Run() override;

 private:
  std::string path_;
};

int InspectCommand::Run() {
  std::unique_ptr<File> file = Sys().OpenFile(path_, OpenMode::Read);
  if (!file) {
    PrintError("FWP file could not be opened!\r\n" + path_);
    return kExitFailed;
  }
  Bytes bytes;
  if (!ReadWholeFile(*file, 0x7FFFFFFF, &bytes)) {
    PrintError("FWP file could not be read!\r\n" + path_);
    return kExitFailed;
  }
  file->Close();

  PrintVersions(ParseVersionBlock(bytes));
  PackageHeader header;
  std::string message;
  if (!ParsePackageHeader(bytes.data(), bytes.size(), &header, &message)) {
    PrintError(message);
    return kExitFailed;
  }
  std::cout << "Release number: " << header.releaseNumber << "\n";
  std::cout << "Header words:";
  for (int32_t word : header.headerWords) std::cout << " " << word;
  std::cout << "\n";
  std::cout << "WINCE INCLUDED: " << header.winceIncluded << "\n";
  std::cout << "3950 panel support: " << (header.has3950Support ? "yes" : "no") << "\n";

  std::string failure;
  const uint32_t computed = PackageCrcOf(bytes.data(), bytes.size());
  if (header.packageCrc == 0) {
    std::cout << "Package CRC: 0 (not checked)\n";
  } else if (computed == header.packageCrc) {
    std::cout << Format("Package CRC: 0x%08X ok\n", header.packageCrc);
  } else {
    std::cout << Format("Package CRC: 0x%08X MISMATCH (the file gives 0x%08X)\n",
                        header.packageCrc, computed);
    failure = "FWP file failed CRC test!\r\n";
  }

  std::cout << "Files: " << header.fileCount << "\n";
  std::cout << "   #  KIND      STORED        SIZE  CRC       CARD PATH  CHECK PATH\n";
  for (int32_t i = 0; i < header.fileCount; ++i) {
    const FILE_INFO_STRUCT record = PackageRecord(bytes.data(), header, i);
    std::cout << Format("%4d  %4d  %10d  %10d  %08X  \"%s\"  \"%s\"\n", i, record.kind,
                        record.storedSize, record.fileSize, record.fileCrc,
                        FieldText(record.cardPath).c_str(), FieldText(record.checkPath).c_str());
    const std::string problem = CheckPackageRecord(record, bytes.size());
    if (!problem.empty()) {
      std::cout << "      ! " << ReplaceAll(problem.substr(0, problem.find("\r\n")), "\r\n", " ")
                << "\n";
      if (failure.empty()) failure = problem;
    }
  }
  if (!failure.empty()) {
    PrintError(failure);
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

CARDWRIGHT_COMMAND(InspectCommand);

}  // namespace cw::cli
