// Unmounting and mounting a card again without root. While a card stays mounted, its folders and
// allocation table stay in the kernel's cache, and an ordinary user cannot drop them: a card
// that acknowledged writes and dropped them would pass a read-back that meets only that cache.
// Mounted again, every read meets the card. The user's own ways are the desktop's mounter
// (udisks, through udisksctl), which mounted most cards an ordinary user has, and an fstab entry
// that lets users mount the card (through the set-user-ID mount and umount).
#include <fcntl.h>
#include <mntent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_internal.h"

extern char** environ;

namespace cw::posix {

namespace {

// Runs `args` (looked up in PATH) with no input and its errors discarded; its exit status, with
// what it printed in `output` when wanted. -1 when it could not run.
int RunProgram(const std::vector<std::string>& args, std::string* output = nullptr) {
  int pipeEnds[2] = {-1, -1};
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // The child starts with no signal blocked and Ctrl-C's signals at their defaults, whatever
  // this process set up for its own stop handling.
  posix_spawnattr_t attributes;
  ::posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
  ::posix_spawnattr_setsigmask(&attributes, &none);
  ::posix_spawnattr_setsigdefault(&attributes, &defaults);
  ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t child = -1;
  const int spawned =
      ::posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attributes);
  ::close(pipeEnds[1]);
  std::string printed;
  char buffer[512];
  for (ssize_t got; spawned == 0 && (got = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) printed.append(buffer, static_cast<size_t>(got));
    else if (errno != EINTR) break;
  }
  ::close(pipeEnds[0]);
  if (spawned != 0) return -1;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (output != nullptr) *output = printed;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Whether /etc/fstab lets users mount whatever belongs at `mountPoint`.
bool UsersMayMountAt(const std::string& mountPoint) {
  FILE* table = ::setmntent("/etc/fstab", "re");
  if (table == nullptr) return false;
  bool allowed = false;
  while (const mntent* entry = ::getmntent(table)) {
    if (mountPoint != entry->mnt_dir) continue;
    mntent copy = *entry;
    allowed = ::hasmntopt(&copy, "user") != nullptr || ::hasmntopt(&copy, "users") != nullptr ||
              ::hasmntopt(&copy, "owner") != nullptr || ::hasmntopt(&copy, "group") != nullptr;
  }
  ::endmntent(table);
  return allowed;
}

// udisksctl says "Mounted /dev/sdb1 at /media/user/CARD" (some versions end it with a stop).
std::string MountPointSaid(const std::string& said) {
  const size_t at = said.find(" at ");
  if (at == std::string::npos) return {};
  std::string point = said.substr(at + 4);
  while (!point.empty() && (point.back() == '\n' || point.back() == '.' || point.back() == ' ')) {
    point.pop_back();
  }
  return point;
}

}  // namespace

UserMountWay UnmountAsUser(const MountEntry& mount) {
  if (RunProgram({"udisksctl", "unmount", "--block-device", mount.source,
                  "--no-user-interaction"}) == 0) {
    return UserMountWay::kDesktopMounter;
  }
  if (UsersMayMountAt(mount.mountPoint) && RunProgram({"umount", mount.mountPoint}) == 0) {
    return UserMountWay::kFstab;
  }
  return UserMountWay::kNone;
}

std::optional<std::string> MountAsUser(const MountEntry& mount, UserMountWay way) {
  if (way == UserMountWay::kFstab) {
    if (RunProgram({"mount", mount.mountPoint}) != 0) return std::nullopt;
    return mount.mountPoint;
  }
  if (way != UserMountWay::kDesktopMounter) return std::nullopt;
  std::string said;
  if (RunProgram({"udisksctl", "mount", "--block-device", mount.source, "--no-user-interaction"},
                 &said) != 0) {
    return std::nullopt;
  }
  const std::string point = MountPointSaid(said);
  return point.empty() ? mount.mountPoint : point;
}

}  // namespace cw::posix
