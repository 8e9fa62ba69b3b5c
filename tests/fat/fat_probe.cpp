// Runs inside the guest: asks the platform layer about a real vfat card and prints what it
// answers, one "key value" line each, for the host-side tests to compare.
//
//   fat_probe attrs PATH...        GetFileAttributes of each Windows path
//   fat_probe setattrs PATH HEX    SetFileAttributes
//   fat_probe dismount LETTER      open, dismount, ask, close the raw volume; then touch the drive
//   fat_probe eject LETTER         EjectCompactFlash, its messages and result
//   fat_probe fill PATH            writes 64 KiB blocks to a new file until a write fails (at
//                                  most 64 MiB, so a fault cannot fill the host's disk)
//
// Several commands joined by "+" run in one process, one platform: what a dismount leaves
// behind lasts only as long as the process. The drive map comes from CARDWRIGHT_DRIVES, as the
// command line's does.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "card/volume.h"
#include "record/job_io.h"
#include "platform/posix/posix_internal.h"
#include "support/scripted_prompt.h"

namespace {

using namespace cw;

void Print(const std::string& key, const std::string& value) {
  std::printf("%s %s\n", key.c_str(), value.c_str());
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

// Whether the kernel has a file system mounted exactly at the drive's folder.
std::string KernelMount(Platform& sys, char letter) {
  const std::string folder = sys.DriveHostPath(std::string(1, letter) + ":\\");
  const auto mount = posix::MountAt(posix::ReadMountInfo(), folder);
  return mount ? mount->fsType : "none";
}

int Attrs(Platform& sys, const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const uint32_t attributes = sys.GetFileAttributes(path);
    Print(path, attributes == kInvalidAttributes ? "error " + std::to_string(GetLastError())
                                                 : Hex(attributes));
  }
  return 0;
}

int SetAttrs(Platform& sys, const std::string& path, const std::string& hex) {
  const bool ok = sys.SetFileAttributes(path, std::strtoul(hex.c_str(), nullptr, 16));
  Print("set", ok ? "ok" : "error " + std::to_string(GetLastError()));
  return ok ? 0 : 1;
}

int Dismount(Platform& sys, char letter) {
  std::unique_ptr<Volume> volume = sys.OpenVolume(std::string("\\\\.\\") + letter + ":");
  if (!volume) {
    Print("open", "error " + std::to_string(GetLastError()));
    return 1;
  }
  const bool dismounted = sys.DismountVolume(*volume);
  Print("dismount", dismounted ? "ok" : "error " + std::to_string(GetLastError()));
  Print("volume-mounted", sys.IsVolumeMounted(*volume) ? "yes" : "no");
  Print("close", sys.CloseVolume(std::move(volume)) ? "ok" : "error");
  Print("kernel-after-dismount", KernelMount(sys, letter));
  std::string fileSystem;
  const bool known = sys.GetVolumeInformation(std::string(1, letter) + ":\\", nullptr, &fileSystem);
  Print("filesystem-after", known ? fileSystem : "error " + std::to_string(GetLastError()));
  Print("kernel-after-access", KernelMount(sys, letter));
  return 0;
}

int Eject(Platform& platform, char letter) {
  ScriptedPrompt prompt;
  JobContext job;
  job.prompt = &prompt;
  JobState state(platform, job);
  const int result =
      RunWorker(state, [&] { return EjectCompactFlash(state.platform, state, letter) ? 1 : 0; });
  for (std::string message : prompt.messages()) {
    for (size_t at = message.find("\r\n"); at != std::string::npos; at = message.find("\r\n")) {
      message.replace(at, 2, "|");
    }
    Print("message", message);
  }
  Print("result", std::to_string(result));
  return 0;
}

int Fill(Platform& sys, const std::string& path) {
  std::unique_ptr<File> file = sys.OpenFile(path, OpenMode::CreateNew);
  if (!file) {
    Print("open", "error " + std::to_string(GetLastError()));
    return 1;
  }
  const std::vector<char> block(64 * 1024, 'x');
  uint64_t written = 0;
  bool failed = false;
  while (written < 64 * 1024 * 1024 && !failed) {
    failed = !file->Write(block.data(), static_cast<uint32_t>(block.size()));
    if (!failed) written += block.size();
  }
  Print("write-error", failed ? std::to_string(GetLastError()) : "none");
  Print("written", std::to_string(written));
  Print("close", file->Close() ? "ok" : "error " + std::to_string(GetLastError()));
  return 0;
}

int Run(Platform& sys, const std::vector<std::string>& args) {
  if (args.size() >= 2 && args[0] == "attrs") return Attrs(sys, {args.begin() + 1, args.end()});
  if (args.size() == 3 && args[0] == "setattrs") return SetAttrs(sys, args[1], args[2]);
  if (args.size() == 2 && args[0] == "dismount") return Dismount(sys, args[1][0]);
  if (args.size() == 2 && args[0] == "eject") return Eject(sys, args[1][0]);
  if (args.size() == 2 && args[0] == "fill") return Fill(sys, args[1]);
  std::fprintf(stderr, "fat_probe: unknown command\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  PosixPlatformOptions options;
  options.instantSleeps = true;
  std::string error;
  if (const char* drives = std::getenv("CARDWRIGHT_DRIVES")) {
    if (!ParseDriveMappingList(drives, &options.mappings, &error)) {
      std::fprintf(stderr, "fat_probe: %s\n", error.c_str());
      return 2;
    }
  }
  std::unique_ptr<Platform> platform = MakePosixPlatform(options);
  int status = 0;
  for (size_t start = 0; start < args.size();) {
    size_t end = start;
    while (end < args.size() && args[end] != "+") ++end;
    const int result = Run(*platform, {args.begin() + start, args.begin() + end});
    if (result == 2) return 2;
    status = std::max(status, result);
    start = end + 1;
  }
  return status;
}
