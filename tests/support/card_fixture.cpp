#include "support/log_lines.h"
#include "support/card_fixture.h"
#include "support/crc.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "package/crc_list_writer.h"
#include "platform/text.h"
#include "rules/bhelper.h"

namespace cw::test {

namespace fs = std::filesystem;

namespace {

std::string HostRelative(const std::string& cardPath) {
  std::string relative = ReplaceAll(cardPath, "\\", "/");
  while (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
  return relative;
}

std::string BareName(const std::string& cardPath) {
  const size_t cut = cardPath.find_last_of('\\');
  return cut == std::string::npos ? cardPath : cardPath.substr(cut + 1);
}


int TargetOfModel(int model) { return model == 3950 ? 3 : 2; }

PackageSpec WithoutKinds(PackageSpec spec, std::initializer_list<int32_t> kinds) {
  std::vector<PackageFileSpec> kept;
  for (const PackageFileSpec& file : spec.files) {
    if (std::find(kinds.begin(), kinds.end(), file.kind) == kinds.end()) kept.push_back(file);
  }
  spec.files = kept;
  return spec;
}

}  // namespace

bool KindBelongsOn(int32_t kind, int target) {
  if (kind == kKindCommonRaw || kind == kKindCommon) return true;
  switch (target) {
    case 1: return kind == kKindEngine2 || kind == kKindEngine7 || kind == kKindEngine10 ||
                   kind == kKindEngine13;
    case 2: return kind == kKindPanel3940 || kind == kKindPanel3940Raw;
    case 3: return kind == kKindPanel3950 || kind == kKindPanel3950Raw;
    default: return false;
  }
}

std::optional<std::string> PlaceOnCard(const PackageFileSpec& file, int target) {
  const bool zlib = target == 1 && Contains(ToUpperAscii(file.cardPath), "ZLIBCE.DLL");
  if (!KindBelongsOn(file.kind, target) && !zlib) return std::nullopt;
  if (target == 1 && (file.kind == kKindCommonRaw || zlib)) return BareName(file.cardPath);
  return file.cardPath;
}

CardFixture::CardFixture() {
  fs::create_directories(CardDir());
  fs::create_directories(HomeDir());
}

std::string CardFixture::DriveMapping() const {
  return std::string(1, letter) + ":=" + CardDir() + (shape.removable ? ",removable" : ",fixed") +
         ",fs=" + shape.fileSystem + ",bytes=" + std::to_string(shape.totalBytes);
}

void CardFixture::Put(const std::string& cardPath, const std::string& content) const {
  temp_.Write("card/" + HostRelative(cardPath), content);
}

std::string CardFixture::Get(const std::string& cardPath) const {
  return temp_.Read("card/" + HostRelative(cardPath));
}

void CardFixture::Remove(const std::string& cardPath) const {
  fs::remove(CardDir() + "/" + HostRelative(cardPath));
}

std::string CardFixture::WritePackage(const PackageSpec& spec, const std::string& name) const {
  return WritePackageBytes(BuildPackage(spec), name);
}

std::string CardFixture::WritePackageBytes(const std::string& bytes,
                                           const std::string& name) const {
  return temp_.Write("packages/" + name, bytes);
}

void CardFixture::LayEngineCard(const PackageSpec& spec) const {
  for (const PackageFileSpec& file : spec.files) {
    if (const std::optional<std::string> place = PlaceOnCard(file, 1)) Put(*place, file.content);
  }
  if (!spec.panel3950Support) {
    Put("UPGRADE.FWP", BuildPackage(spec));
    return;
  }
  Put("UPGRADE.FWP", BuildPackage(WithoutKinds(spec, {kKindPanel3950, kKindPanel3950Raw,
                                                      kKindCommonRaw})));
  Put("FWP_3950.FWP", BuildPackage(WithoutKinds(spec, {kKindPanel3940, kKindPanel3940Raw,
                                                       kKindCommonRaw})));
}

std::string CardFixture::PanelCRCList(const PackageSpec& spec, int model,
                                      const std::string& osImage) {
  std::vector<CRCListEntry> entries = {{model == 3950 ? "NK.NBG" : "NK.BIN", Crc(osImage)}};
  for (const PackageFileSpec& file : spec.files) {
    if (KindBelongsOn(file.kind, TargetOfModel(model)))
      entries.push_back({file.cardPath, Crc(file.content)});
  }
  return BuildCRCList(entries);
}

void CardFixture::LayPanelCard(const PackageSpec& spec, int model,
                               const std::string& osImage) const {
  for (const PackageFileSpec& file : spec.files) {
    const std::optional<std::string> place = PlaceOnCard(file, TargetOfModel(model));
    if (place) Put(*place, file.content);
  }
  Put(model == 3950 ? "NK.NBG" : "NK.BIN", osImage);
  Put(model == 3950 ? "Quorvane File CRCs 3950.dat" : "Quorvane File CRCs.dat",
      PanelCRCList(spec, model, osImage));
}

std::vector<std::string> CardFixture::Arguments(const std::vector<std::string>& args) const {
  std::vector<std::string> all = {"--drive", DriveMapping()};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

EnvironmentAdditions CardFixture::Environment() const {
  EnvironmentAdditions env = {{"HOME", HomeDir()},
                              {"XDG_CONFIG_HOME", HomeDir() + "/.config"},
                              {"XDG_RUNTIME_DIR", PrivateDir()},
                              {"CARDWRIGHT_DRIVES", ""}};
  for (const auto& [key, value] : environment) {
    auto same = std::find_if(env.begin(), env.end(), [&](const auto& e) { return e.first == key; });
    if (same != env.end()) same->second = value;
    else env.emplace_back(key, value);
  }
  return env;
}

CommandResult CardFixture::Run(const std::vector<std::string>& args,
                               const std::string& stdinText) const {
  return RunCardwright(Arguments(args), Environment(), stdinText);
}

CommandResult CardFixture::RunOnTerminal(const std::vector<std::string>& args,
                                         int columns) const {
  return RunCardwrightOnTerminal(Arguments(args), Environment(), columns);
}

std::unique_ptr<RunningProgram> CardFixture::Start(const std::vector<std::string>& args,
                                                   bool terminalInput) const {
  return StartCardwright(Arguments(args), Environment(), terminalInput);
}

std::map<std::string, std::string> CardFixture::Snapshot() const { return HostFiles(CardDir()); }

std::vector<std::string> CardFixture::LogLines() const {
  return LogMessages(temp_.Read("home/Documents/BREVANT/QUORVANE/fwp_downloader.log"));
}

std::string CardFixture::Diagnostics() const {
  return temp_.Read("home/Documents/BREVANT/QUORVANE/DownloadDiagnostics.txt");
}

}  // namespace cw::test
