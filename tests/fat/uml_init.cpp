// The first process of a User-Mode Linux guest that tests a real vfat card. The guest's root is
// the host's own root (hostfs), so the tests' binaries run unchanged inside it.
//
// The kernel hands unknown "name=value" boot words to init as its environment; this one reads
//   cw_run=DIR   the run folder: DIR/guest.sh is the scenario, run by /bin/sh with DIR as the
//                current folder; its exit status goes to DIR/guest.rc, its output to
//                DIR/guest.log.
// Before the scenario it mounts /proc and /sys and loads the FAT, NLS and device-mapper modules
// (there is no modprobe on the host's root for the guest's kernel, so finit_module does it).
// Afterwards it unmounts every FAT file system still mounted (DIR/unmount.log says which did
// not go), syncs and powers the guest off.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
}

void Note(std::string* log, const std::string& text) { *log += text + "\n"; }

// Modules in load order: each one's dependencies come before it.
const char* const kModules[] = {
    "kernel/fs/nls/nls_cp437.ko", "kernel/fs/nls/nls_iso8859-1.ko", "kernel/fs/fat/fat.ko",
    "kernel/fs/fat/vfat.ko",      "kernel/drivers/md/dm-mod.ko",
    "kernel/drivers/md/dm-log-writes.ko",  // records a card's block writes (crash_sweep.cpp)
    "kernel/drivers/md/dm-flakey.ko",      // a card that fails or drops writes (crash_sweep.cpp)
};

void LoadModules(std::string* log) {
  struct utsname name;
  ::uname(&name);
  const std::string folder = std::string("/usr/lib/uml/modules/") + name.release + "/";
  for (const char* module : kModules) {
    const std::string path = folder + module;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      Note(log, "open " + path + ": " + std::strerror(errno));
      continue;
    }
    if (::syscall(SYS_finit_module, fd, "", 0) != 0 && errno != EEXIST) {
      Note(log, "finit_module " + path + ": " + std::strerror(errno));
    }
    ::close(fd);
  }
}

void MountBasics(std::string* log) {
  struct Fs {
    const char* type;
    const char* target;
  } const kMounts[] = {{"proc", "/proc"}, {"sysfs", "/sys"}, {"devtmpfs", "/dev"}};
  for (const Fs& fs : kMounts) {
    if (::mount(fs.type, fs.target, fs.type, 0, nullptr) != 0 && errno != EBUSY) {
      Note(log, std::string("mount ") + fs.target + ": " + std::strerror(errno));
    }
  }
}

// FAT mounts left by the scenario, last mounted first, so the card's dirty bit is cleared.
void UnmountCards(const std::string& runFolder) {
  std::ifstream mounts("/proc/self/mounts");
  std::vector<std::string> targets;
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string source, target, type;
    fields >> source >> target >> type;
    if (type == "vfat" || type == "msdos") targets.push_back(target);
  }
  std::string log;
  for (auto it = targets.rbegin(); it != targets.rend(); ++it) {
    if (::umount2(it->c_str(), 0) != 0) Note(&log, *it + ": " + std::strerror(errno));
  }
  WriteText(runFolder + "/unmount.log", log);
}

// Runs the scenario and, as init must, reaps every orphan that ends meanwhile.
int RunScenario(const std::string& runFolder) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open((runFolder + "/guest.log").c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    if (in >= 0) ::dup2(in, 0);
    if (::chdir(runFolder.c_str()) != 0) _exit(126);
    // Glibc keeps to its SSE routines: under the launcher's fallback (see uml.cpp) the guest
    // kernel keeps only the SSE part of the vector registers across a page fault.
    const std::string home = "HOME=" + runFolder + "/home";
    const std::string run = "CW_RUN=" + runFolder;
    const char* const env[] = {
        "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
        "LANG=C.UTF-8",
        "GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX_Fast_Unaligned_Load,-AVX,-AVX2,-AVX512F,-AVX512VL,"
        "-AVX512BW,-AVX512DQ",
        home.c_str(),
        run.c_str(),
        nullptr};
    const std::string script = runFolder + "/guest.sh";
    const char* const argv[] = {"/bin/sh", script.c_str(), nullptr};
    ::execve("/bin/sh", const_cast<char* const*>(argv), const_cast<char* const*>(env));
    _exit(127);
  }
  if (child < 0) return 125;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(-1, &status, 0);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return 125;
    if (done != child) continue;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
}

}  // namespace

int main() {
  const char* run = std::getenv("cw_run");
  std::string log;
  MountBasics(&log);
  LoadModules(&log);
  if (run != nullptr) {
    const std::string runFolder = run;
    WriteText(runFolder + "/init.log", log);
    const int status = RunScenario(runFolder);
    UnmountCards(runFolder);
    WriteText(runFolder + "/guest.rc", std::to_string(status) + "\n");
  }
  ::sync();
  ::reboot(RB_POWER_OFF);
  return 0;  // not reached: init must never end
}
