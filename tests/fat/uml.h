#pragma once
// Runs a scenario inside a User-Mode Linux guest whose root is the host's root and whose block
// devices are FAT card images, so the program meets the kernel's real vfat driver.

#include <string>
#include <vector>

namespace cw::fat {

// Why no guest can start on this machine, or empty when one can. Found once per process by
// booting a guest that only checks that the FAT modules loaded.
const std::string& UmlUnavailableReason();

// What one scenario step inside the guest left behind (see GuestScript::Step).
struct StepResult {
  int exitCode = -1;  // -1: the step never ran
  std::string out, err;
};

struct GuestRun {
  bool finished = false;  // the guest ran the scenario to its end and powered off
  bool timedOut = false;
  int status = -1;        // the scenario's exit status
  std::string log;        // the scenario's own output (guest.log)
  std::string console;    // the guest kernel's console
  std::string initLog;    // modules or mounts the guest's init could not set up
  std::string unmountLog; // cards that were still busy at power-off
  std::string Describe() const;  // all of the above, for a failure message
};

// One guest boot. The run folder holds the scenario, its outputs and the guest's control files;
// its path must hold neither commas nor blanks (the kernel's command line splits on them).
// Inside the scenario (a POSIX shell script) these are set:
//   RUN   the run folder        CARD  RUN/card, the card's mount point (created empty)
//   CW    the cardwright binary PROBE the platform probe (fat_probe)
//   HOME  RUN/home (created)
// and these functions exist:
//   card_mount [DEVICE [DIR]]  mounts DEVICE (default /dev/ubda) on DIR (default CARD) with
//                         options close to how Windows sees a FAT card
//   home_mount DEVICE     mounts an ext4 disk (FatCardTest::MakeHome) as HOME
//   card_dm               puts /dev/mapper/card over /dev/ubda (mount that to pull it later)
//   card_pull             makes every later I/O of /dev/mapper/card fail: the card is out
//   step NAME CMD...      runs CMD, keeping its output and exit status for Step(NAME)
class Guest {
 public:
  explicit Guest(std::string runFolder);

  // Runs `script` with `disks` as ubd0, ubd1, ...; waits at most `timeoutSeconds`.
  GuestRun Run(const std::string& script, const std::vector<std::string>& disks,
               int timeoutSeconds = 60);
  StepResult Step(const std::string& name) const;
  const std::string& runFolder() const { return runFolder_; }
  std::string cardFolder() const { return runFolder_ + "/card"; }

 private:
  std::string runFolder_;
};

}  // namespace cw::fat
