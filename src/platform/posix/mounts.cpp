// What the host says about its mounts: /proc/self/mountinfo, sysfs, statfs; and the unmount
// and remount of a FAT card.
#include <linux/magic.h>
#include <stdlib.h>
#include <sys/mount.h>

#include <fstream>
#include <sstream>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

// A line: ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - FSTYPE SOURCE SUPEROPTIONS
std::vector<MountEntry> ParseMountInfo(const std::string& text) {
  std::vector<MountEntry> mounts;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> parts;
    std::string field;
    while (fields >> field) parts.push_back(field);
    size_t dash = 6;
    while (dash < parts.size() && parts[dash] != "-") ++dash;
    if (parts.size() < 6 || dash + 3 > parts.size()) continue;  // not a mount line
    MountEntry entry;
    entry.majorMinor = parts[2];
    entry.mountPoint = Unescape(parts[4]);
    entry.mountOptions = parts[5];
    entry.fsType = Unescape(parts[dash + 1]);
    entry.source = Unescape(parts[dash + 2]);
    entry.superOptions = dash + 3 < parts.size() ? parts[dash + 3] : "";
    mounts.push_back(entry);
  }
  return mounts;
}

std::vector<MountEntry> ReadMountInfo() {
  std::ifstream in("/proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  return ParseMountInfo(text.str());
}

std::optional<MountEntry> MountAt(const std::vector<MountEntry>& mounts,
                                  const std::string& hostPath) {
  std::optional<MountEntry> found;
  for (const MountEntry& mount : mounts) {
    if (mount.mountPoint == hostPath) found = mount;
  }
  return found;
}

std::optional<MountEntry> MountOf(const std::vector<MountEntry>& mounts,
                                  const std::string& hostPath) {
  std::optional<MountEntry> found;
  for (const MountEntry& mount : mounts) {
    if (PathIsUnder(hostPath, mount.mountPoint) &&
        (!found || mount.mountPoint.size() >= found->mountPoint.size())) {
      found = mount;
    }
  }
  return found;
}

bool IsRemovableDevice(const std::string& sysRoot, const std::string& majorMinor) {
  char* real = ::realpath((sysRoot + "/dev/block/" + majorMinor).c_str(), nullptr);
  if (real == nullptr) return false;
  std::string device = real;
  ::free(real);
  if (device.find("/usb") != std::string::npos) return true;  // USB-attached card readers
  std::ifstream partition(device + "/partition");
  const std::string disk = partition.good() ? ParentOf(device) : device;
  return ReadFirstLine(disk + "/removable") == "1";
}

bool IsFatType(const std::string& fsType) {
  return fsType == "vfat" || fsType == "msdos" || fsType == "exfat";
}

std::string FileSystemName(int64_t magic, uint64_t blocks, const std::string& fsType) {
  if (magic == MSDOS_SUPER_MAGIC || fsType == "vfat" || fsType == "msdos") {
    return blocks < 65525 ? "FAT" : "FAT32";  // on vfat, f_blocks counts clusters
  }
  if (!fsType.empty()) return UpperAscii(fsType);
  switch (magic) {
    case EXT4_SUPER_MAGIC:
      return "EXT4";
    case TMPFS_MAGIC:
      return "TMPFS";
    case BTRFS_SUPER_MAGIC:
      return "BTRFS";
    case XFS_SUPER_MAGIC:
      return "XFS";
    case OVERLAYFS_SUPER_MAGIC:
      return "OVERLAY";
    case 0x2011BAB0:
      return "EXFAT";
    default:
      return "UNKNOWN";
  }
}

bool UnmountFolder(const std::string& mountPoint, int* err) {
  if (::umount2(mountPoint.c_str(), 0) == 0) return true;
  *err = errno;
  return false;
}

MountRequest RemountRequest(const MountEntry& mount) {
  static const struct {
    const char* name;
    unsigned long flag;
  } kFlags[] = {{"ro", MS_RDONLY},         {"nosuid", MS_NOSUID},    {"nodev", MS_NODEV},
                {"noexec", MS_NOEXEC},     {"noatime", MS_NOATIME},  {"nodiratime", MS_NODIRATIME},
                {"relatime", MS_RELATIME}, {"sync", MS_SYNCHRONOUS}, {"dirsync", MS_DIRSYNC},
                {"mand", MS_MANDLOCK},     {"lazytime", MS_LAZYTIME}};
  // Sets the flag an option names; false for an option of the file system's own.
  MountRequest request;
  auto generic = [&request](const std::string& option) {
    if (option == "rw" || option.empty()) return true;
    for (const auto& known : kFlags) {
      if (option == known.name) {
        request.flags |= known.flag;
        return true;
      }
    }
    return false;
  };
  std::istringstream options(mount.mountOptions);
  std::string option;
  while (std::getline(options, option, ',')) generic(option);
  // The super block's options: its generic flags (a card mounted "sync" shows "sync" here, and
  // the FAT driver refuses it as an option of its own) go back as flags, the file system's own
  // options as they were.
  std::istringstream superOptions(mount.superOptions);
  while (std::getline(superOptions, option, ',')) {
    if (!generic(option)) request.data += (request.data.empty() ? "" : ",") + option;
  }
  return request;
}

bool RemountFolder(const MountEntry& mount, int* err) {
  const MountRequest request = RemountRequest(mount);
  if (::mount(mount.source.c_str(), mount.mountPoint.c_str(), mount.fsType.c_str(), request.flags,
              request.data.c_str()) == 0) {
    return true;
  }
  *err = errno;
  return false;
}

}  // namespace cw::posix
