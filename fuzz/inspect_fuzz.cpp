// `cardwright inspect` on any file: the command itself, run on the in-memory platform with its
// output thrown away.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/command.h"
#include "fuzz_job.h"
#include "platform/platform.h"
#include "support/fake_platform.h"

using namespace cw;

namespace {

constexpr const char* kPath = "C:\\WORK\\INPUT.FWP";

cli::Command* InspectWithPath() {
  static cli::Command* command = [] {
    static CLI::App app;
    for (cli::Command* candidate : cli::Commands()) {
      if (std::string(candidate->Name()) != "inspect") continue;
      candidate->Define(*app.add_subcommand("inspect"));
      app.parse(std::vector<std::string>{kPath, "inspect"});  // CLI11 takes them reversed
      return candidate;
    }
    fuzz::Check(false, "the inspect command is linked in");
    return static_cast<cli::Command*>(nullptr);
  }();
  return command;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  cli::Command* inspect = InspectWithPath();
  FakePlatform fake;
  fake.WriteFile(kPath, std::string(reinterpret_cast<const char*>(input), size));

  std::ostringstream out, err;
  std::streambuf* const oldOut = std::cout.rdbuf(out.rdbuf());
  std::streambuf* const oldErr = std::cerr.rdbuf(err.rdbuf());
  const int status = inspect->Run(fake);
  std::cout.rdbuf(oldOut);
  std::cerr.rdbuf(oldErr);

  fuzz::Check(status == cli::kExitOk || status == cli::kExitFailed, "inspect ends ok or failed");
  fuzz::Check(status == cli::kExitOk || !err.str().empty(), "a failure says why");
  return 0;
}
