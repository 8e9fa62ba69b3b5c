// The cardwright command line: the drive map from --drive and CARDWRIGHT_DRIVES, the host
// platform, then one registered subcommand.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/json_report.h"
#include "session/front_end.h"
#include "platform/drive_map.h"
#include "platform/platform.h"
#include "platform/host_platform.h"
#include "ui/run_window.h"

namespace {

using cw::cli::kExitUsage;

// Wrong usage after parsing (a bad drive map); a command asked for JSON still reports it so.
int Refuse(const std::string& message, const cw::cli::Command* command = nullptr) {
  std::cerr << "cardwright: " << message << "\n";
  if (command != nullptr && command->JsonReport()) {
    cw::cli::Json report = cw::cli::ReportHead(command->Name());
    cw::cli::SetOutcome(report, "usage", kExitUsage, {message});
    cw::cli::PrintJson(report);
  }
  return kExitUsage;
}

// Both sources apply; an option's letter overrides the same letter from the environment.
bool CollectMappings(const std::vector<std::string>& options,
                     std::vector<cw::DriveMapping>* mappings, std::string* error) {
  std::vector<cw::DriveMapping> fromEnvironment;
  if (const char* text = std::getenv("CARDWRIGHT_DRIVES")) {
    if (!cw::ParseDriveMappingList(text, &fromEnvironment, error)) {
      *error = "CARDWRIGHT_DRIVES: " + *error;
      return false;
    }
  }
  std::map<char, cw::DriveMapping> byLetter;
  for (const std::string& text : options) {
    std::optional<cw::DriveMapping> mapping = cw::ParseDriveMapping(text, error);
    if (!mapping) return false;
    if (!byLetter.emplace(mapping->letter, *mapping).second) {
      *error = std::string("--drive: drive ") + mapping->letter + ": is mapped twice";
      return false;
    }
  }
  for (const cw::DriveMapping& mapping : fromEnvironment) byLetter.emplace(mapping.letter, mapping);
  mappings->clear();
  for (const auto& [letter, mapping] : byLetter) mappings->push_back(mapping);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Cardwright: programs and checks the CompactFlash card of a controller",
               "cardwright"};
  std::vector<std::string> driveOptions;
  app.add_option("--drive", driveOptions,
                 "Map a drive: E:=FOLDER[,removable|fixed][,fs=NAME][,bytes=N] (repeatable; "
                 "also CARDWRIGHT_DRIVES, ';'-separated)")
      ->allow_extra_args(false);
  app.require_subcommand(0, 1);
  app.set_version_flag("--version", std::string("cardwright ") + cw::kProgramVersionText,
                       "Print the program's version and exit");

  std::vector<std::pair<CLI::App*, cw::cli::Command*>> subcommands;
  for (cw::cli::Command* command : cw::cli::Commands()) {
    CLI::App* sub = app.add_subcommand(command->Name(), command->Description());
    command->Define(*sub);
    subcommands.emplace_back(sub, command);
  }

  // A subcommand (or --help) writes to the caller's console; the window needs none.
  if (argc > 1) cw::UseCallersConsole();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? cw::cli::kExitOk : kExitUsage;
  }

  cw::cli::Command* chosen = nullptr;
  for (const auto& [sub, command] : subcommands) {
    if (sub->parsed()) chosen = command;
  }

  std::vector<cw::DriveMapping> mappings;
  std::string error;
  if (!CollectMappings(driveOptions, &mappings, &error)) return Refuse(error, chosen);

  cw::HostPlatformOptions options;
  options.mappings = mappings;
  // Released on purpose: the platform serves every thread until the process ends, also a
  // worker the window gives up waiting for.
  cw::Platform& platform = *cw::MakeHostPlatform(options).release();

  for (const cw::DriveMapping& mapping : mappings) {
    const std::string root = std::string(1, mapping.letter) + ":\\";
    const uint32_t attributes = platform.GetFileAttributes(root);
    if (attributes == cw::kInvalidAttributes || (attributes & cw::kAttrDirectory) == 0) {
      return Refuse(std::string("drive ") + mapping.letter + ": folder \"" + mapping.hostPath +
                        "\" does not exist or is not a folder",
                    chosen);
    }
  }

  if (chosen != nullptr) return chosen->Run(platform);
  // Without a subcommand the program opens its window.
  return cw::RunWindow(platform, argc, argv);
}
