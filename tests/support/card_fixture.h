#pragma once
// A folder that stands for a card, a temporary HOME and the package files of one end-to-end
// test, with the cards laid out as a store leaves them. Runs the built cardwright on them.
//
//   CardFixture card;
//   const PackageSpec spec = ...;
//   card.LayEngineCard(spec);
//   CommandResult r = card.Run({"verify", "--card", "E:", "--package", card.WritePackage(spec)});

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "package/package_writer.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace cw::test {

// What the drive option tells about the card folder.
struct DriveShape {
  bool removable = true;
  std::string fileSystem = "FAT16";
  uint64_t totalBytes = 64ull << 20;
};

class CardFixture {
 public:
  CardFixture();
  CardFixture(const CardFixture&) = delete;
  CardFixture& operator=(const CardFixture&) = delete;

  std::string CardDir() const { return temp_.Sub("card"); }
  std::string HomeDir() const { return temp_.Sub("home"); }
  // Where the program keeps its log, transcript and last path under HomeDir().
  std::string DataDir() const { return temp_.Sub("home/Documents/BREVANT/QUORVANE"); }
  // The runs' own folder for locks and temporary files ($XDG_RUNTIME_DIR), made by the program.
  std::string PrivateDir() const { return temp_.Sub("run"); }
  // "E:=<card folder>,removable,fs=FAT16,bytes=67108864" from `shape`.
  std::string DriveMapping() const;

  // Card files by their card path ("BREVANT\\APP.EXE"; folders are made on the way).
  void Put(const std::string& cardPath, const std::string& content) const;
  std::string Get(const std::string& cardPath) const;
  void Remove(const std::string& cardPath) const;

  // Writes a package (or any bytes) outside the card and returns its host path.
  std::string WritePackage(const PackageSpec& spec, const std::string& name = "PACKAGE.FWP") const;
  std::string WritePackageBytes(const std::string& bytes,
                                const std::string& name = "PACKAGE.FWP") const;

  // The card as a store of `spec` leaves it. Engine: every engine file (the stored-as-is
  // common files in the root), and the stored copy UPGRADE.FWP, or with 3950 support
  // UPGRADE.FWP and FWP_3950.FWP, each without the other panel's files and the kind-14 files.
  void LayEngineCard(const PackageSpec& spec) const;
  // Panel 3940 or 3950: the model's files, its OS image (NK.BIN or NK.NBG) and its CRC list
  // naming the OS image first and then every file laid out, as a package's list does.
  void LayPanelCard(const PackageSpec& spec, int model, const std::string& osImage) const;
  // The list a panel's package carries for the files of `spec` that the model receives.
  static std::string PanelCRCList(const PackageSpec& spec, int model, const std::string& osImage);

  // Runs cardwright with the card's drive mapping before `args`, and HOME.
  CommandResult Run(const std::vector<std::string>& args, const std::string& stdinText = "") const;
  // The same run with standard input and output a terminal of `columns` columns.
  CommandResult RunOnTerminal(const std::vector<std::string>& args, int columns = 120) const;
  // The same run started in the background (standard input a terminal with `terminalInput`).
  std::unique_ptr<RunningProgram> Start(const std::vector<std::string>& args,
                                        bool terminalInput = false) const;

  // Every file below the card folder (relative host path -> content), to prove that a run
  // left the card as it was.
  std::map<std::string, std::string> Snapshot() const;
  // The log's messages, without their time stamps, in order; and the saved transcript.
  std::vector<std::string> LogLines() const;
  std::string Diagnostics() const;

  DriveShape shape;
  char letter = 'E';
  // Set for every run after the fixture's own (HOME, XDG_RUNTIME_DIR, ...), replacing them.
  EnvironmentAdditions environment;

 private:
  std::vector<std::string> Arguments(const std::vector<std::string>& args) const;
  EnvironmentAdditions Environment() const;

  TempDir temp_;
};

// The kinds a target (1 Engine, 2 Panel 3940, 3 Panel 3950) receives from a package.
bool KindBelongsOn(int32_t kind, int target);
// Where a package file lands on a card of `target` ("APP\\MAIN.BIN"; the Engine keeps its
// stored-as-is common files and its zlib in the root), or nothing when the card never gets it.
std::optional<std::string> PlaceOnCard(const PackageFileSpec& file, int target);

}  // namespace cw::test
