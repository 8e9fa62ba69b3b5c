#pragma once
// A subcommand of the cardwright command line. Each lives in its own file and registers itself
// with CARDWRIGHT_COMMAND, so adding one touches no other file.

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace cw::cli {

// Exit statuses of the command line.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 5;

class Command {
 public:
  virtual ~Command() = default;
  virtual const char* Name() const = 0;
  virtual const char* Description() const = 0;
  // Declares the subcommand's own options on `sub`.
  virtual void Define(CLI::App& sub) = 0;
  // Runs after the options are parsed, on the host platform the command line made (with the
  // drive map).
  virtual int Run(Platform& platform) = 0;

  // True when --json asked for the run's report as one JSON document on standard output.
  bool JsonReport() const { return json_; }

 protected:
  // Offers --json on `sub`.
  void DefineJson(CLI::App& sub) {
    sub.add_flag("--json", json_,
                 "Print one JSON report on standard output (keys: docs/json.md); messages stay "
                 "on standard error");
  }

 private:
  bool json_ = false;
};

std::vector<Command*>& Commands();

struct CommandRegistrar {
  explicit CommandRegistrar(Command* command) { Commands().push_back(command); }
};

}  // namespace cw::cli

#define CARDWRIGHT_COMMAND(Type) \
  static Type g_command_##Type;  \
  static ::cw::cli::CommandRegistrar g_registrar_##Type(&g_command_##Type)
