// `cardwright inspect FILE`: a package's versions, header values and whole file table, read
// with the loader's own checks but without its target filter.

#include <cstdio>
#include <iostream>
#include <sstream>
#include <vector>

#include "cli/command.h"
#include "cli/json_report.h"
#include "record/job_io.h"
#include "package/byte_reader.h"
#include "package/package_parser.h"
#include "package/version_block.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace cw::cli {
namespace {

// Messages carry CR LF for message boxes; a terminal wants plain line ends.
void PrintError(const std::string& message) { std::cerr << PlainMessage(message) << "\n"; }

std::string Letter(char letter) {
  const unsigned char code = static_cast<unsigned char>(letter);
  if (code > 0x20 && code < 0x7F) return std::string(1, letter);
  return code == 0 ? "(none)" : Format("0x%02X", code);
}

void PrintVersions(std::ostream& out, const VersionBlockRead& read) {
  if (!read.found) {
    out << "Version block: not found\n";
    return;
  }
  out << (read.engine ? ComposeVersionText(kEngineVersionPrefix, *read.engine)
                      : std::string(kEngineVersionPrefix) + "(not read)")
      << "\n";
  out << (read.panel ? ComposeVersionText(kPanelVersionPrefix, *read.panel)
                     : std::string(kPanelVersionPrefix) + "(not read)")
      << "\n";
  auto number = [](const std::optional<int32_t>& v) {
    return v ? std::to_string(*v) : std::string("(not read)");
  };
  auto letter = [](const std::optional<char>& v) {
    return v ? Letter(*v) : std::string("(not read)");
  };
  out << "Format version: " << number(read.formatVersion) << "\n"
      << "Format revision: " << number(read.formatRevision) << "\n"
      << "Format letter: " << letter(read.formatLetter) << "\n";
  if (!read.generatorSearched) {
    out << "Generator: not read before format 1.008\n";
  } else {
    out << "Generator version: " << number(read.generatorVersion) << "\n"
        << "Generator revision: " << number(read.generatorRevision) << "\n"
        << "Generator letter: " << letter(read.generatorLetter) << "\n";
  }
  if (read.truncated) out << "Version block: the file ends inside it\n";
}

// The version block as the JSON report gives it: a value that was not read is null.
Json VersionsJson(const VersionBlockRead& read) {
  auto number = [](const std::optional<int32_t>& v) { return v ? Json(*v) : Json(nullptr); };
  auto letter = [](const std::optional<char>& v) { return v ? Json(Letter(*v)) : Json(nullptr); };
  auto text = [](const char* prefix, const std::optional<VersionTriple>& v) {
    return v ? Json(ComposeVersionText(prefix, *v)) : Json(nullptr);
  };
  Json versions;
  versions["found"] = read.found;
  versions["truncated"] = read.truncated;
  versions["engine"] = text(kEngineVersionPrefix, read.engine);
  versions["panel"] = text(kPanelVersionPrefix, read.panel);
  versions["format"] = {{"version", number(read.formatVersion)},
                        {"revision", number(read.formatRevision)},
                        {"letter", letter(read.formatLetter)}};
  versions["generator"] = read.generatorSearched
                              ? Json{{"version", number(read.generatorVersion)},
                                     {"revision", number(read.generatorRevision)},
                                     {"letter", letter(read.generatorLetter)}}
                              : Json(nullptr);
  return versions;
}

Json HeaderJson(const PackageHeader& header, uint32_t computed) {
  Json json;
  json["release_number"] = header.releaseNumber;
  json["header_words"] = header.headerWords;
  json["wince_included"] = header.winceIncluded;
  json["panel_3950_support"] = header.has3950Support;
  json["package_crc"] = CrcJson(header.packageCrc);
  json["computed_crc"] = CrcJson(computed);
  json["package_crc_ok"] =
      header.packageCrc == 0 ? Json(nullptr) : Json(computed == header.packageCrc);
  json["file_count"] = header.fileCount;
  return json;
}

Json RecordJson(int32_t index, const FILE_INFO_STRUCT& record, const std::string& problem) {
  return {{"index", index},
          {"kind", record.kind},
          {"stored_size", record.storedSize},
          {"file_size", record.fileSize},
          {"crc", CrcJson(record.fileCrc)},
          {"card_path", FieldText(record.cardPath)},
          {"check_path", FieldText(record.checkPath)},
          {"problem", problem.empty() ? Json(nullptr) : Json(PlainMessage(problem))}};
}

class InspectCommand : public Command {
 public:
  const char* Name() const override { return "inspect"; }
  const char* Description() const override {
    return "Show a package's versions, header values and file table";
  }
  void Define(CLI::App& sub) override {
    sub.add_option("FILE", path_, "the package (.FWP)")->required();
    DefineJson(sub);
  }
  int Run(Platform& platform) override;

 private:
  // Ends the run: the message on standard error, and with --json the report.
  int End(Json& report, const std::string& failure) const {
    const int status = failure.empty() ? kExitOk : kExitFailed;
    if (!failure.empty()) PrintError(failure);
    if (JsonReport()) {
      std::vector<std::string> messages;
      if (!failure.empty()) messages.push_back(failure);
      // The package could not be read at all, or its header was refused: nothing inspected.
      const bool refused = !failure.empty() && !report.contains("files");
      SetOutcome(report,
                 failure.empty() ? "passed"
                 : refused       ? "refused"
                                 : "failed",
                 status, messages);
      PrintJson(report);
    }
    return status;
  }

  std::string path_;
};

int InspectCommand::Run(Platform& platform) {
  Json report = ReportHead(Name());
  report["package"] = path_;
  // With --json the human table is not printed: standard output holds the report alone.
  std::ostringstream discard;
  std::ostream& out = JsonReport() ? discard : std::cout;

  std::unique_ptr<File> file = platform.OpenFile(path_, OpenMode::Read);
  if (!file) return End(report, "FWP file could not be opened!\r\n" + path_);
  Bytes bytes;
  if (!ReadWholeFile(*file, kMaxPackageBytes, &bytes))
    return End(report, "FWP file could not be read!\r\n" + path_);
  file->Close();

  const VersionBlockRead versions = ParseVersionBlock(bytes);
  report["versions"] = VersionsJson(versions);
  PrintVersions(out, versions);
  PackageHeader header;
  std::string message;
  if (!ParsePackageHeader(bytes.data(), bytes.size(), &header, &message))
    return End(report, message);
  out << "Release number: " << header.releaseNumber << "\n";
  out << "Header words:";
  for (int32_t word : header.headerWords) out << " " << word;
  out << "\n";
  out << "WINCE INCLUDED: " << header.winceIncluded << "\n";
  out << "3950 panel support: " << (header.has3950Support ? "yes" : "no") << "\n";

  std::string failure;
  const uint32_t computed = PackageCrcOf(bytes.data(), bytes.size());
  report["header"] = HeaderJson(header, computed);
  if (header.packageCrc == 0) {
    out << "Package CRC: 0 (not checked)\n";
  } else if (computed == header.packageCrc) {
    out << Format("Package CRC: 0x%08X ok\n", header.packageCrc);
  } else {
    out << Format("Package CRC: 0x%08X MISMATCH (the file gives 0x%08X)\n", header.packageCrc,
                  computed);
    failure = "FWP file failed CRC test!\r\n";
  }

  out << "Files: " << header.fileCount << "\n";
  out << "   #  KIND      STORED        SIZE  CRC       CARD PATH  CHECK PATH\n";
  Json records = Json::array();
  for (int32_t i = 0; i < header.fileCount; ++i) {
    const FILE_INFO_STRUCT record = PackageRecord(bytes.data(), header, i);
    out << Format("%4d  %4d  %10d  %10d  %08X  \"%s\"  \"%s\"\n", i, record.kind, record.storedSize,
                  record.fileSize, record.fileCrc, FieldText(record.cardPath).c_str(),
                  FieldText(record.checkPath).c_str());
    const std::string problem = CheckPackageRecord(record, bytes.size());
    records.push_back(RecordJson(i, record, problem));
    if (!problem.empty()) {
      out << "      ! " << ReplaceAll(problem.substr(0, problem.find("\r\n")), "\r\n", " ") << "\n";
      if (failure.empty()) failure = problem;
    }
  }
  report["files"] = std::move(records);
  return End(report, failure);
}

}  // namespace

CARDWRIGHT_COMMAND(InspectCommand);

}  // namespace cw::cli
