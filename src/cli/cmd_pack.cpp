// `cardwright pack MANIFEST -o OUT.FWP`: builds a package from a manifest (docs/manifest.md).

#include <iostream>
#include <stdexcept>

#include "cli/command.h"
#include "record/job_io.h"
#include "package/pack_manifest.h"
#include "package/package_writer.h"

namespace cw::cli {
namespace {

class PackCommand : public Command {
 public:
  const char* Name() const override { return "pack"; }
  const char* Description() const override {
    return "Build a package from a manifest (see docs/manifest.md)";
  }
  void Define(CLI::App& sub) override {
    sub.add_option("MANIFEST", manifest_, "the manifest file")->required();
    sub.add_option("-o,--output", output_, "the package to write (.FWP)")->required();
  }
  int Run(Platform& platform) override;

 private:
  std::string manifest_;
  std::string output_;
};

int PackCommand::Run(Platform& platform) {
  PackageSpec spec;
  std::string error;
  if (!LoadManifest(platform, manifest_, &spec, &error)) {
    std::cerr << error << "\n";
    return kExitFailed;
  }
  std::string bytes;
  try {
    bytes = BuildPackage(spec);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return kExitFailed;
  }
  if (!WriteBytesToFile(platform, output_, bytes)) {
    std::cerr << "cannot write " << output_ << "\n";
    return kExitFailed;
  }
  std::cout << Format("%s: %zu files, %zu bytes\n", output_.c_str(), spec.files.size(),
                      bytes.size());
  return kExitOk;
}

}  // namespace

CARDWRIGHT_COMMAND(PackCommand);

}  // namespace cw::cli
