#include "fat/uml.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "support/temp_dir.h"

namespace cw::fat {

namespace {

// CW_UML_KERNEL names another kernel (or a missing one, to see the tests skip themselves).
std::string Kernel() {
  const char* chosen = std::getenv("CW_UML_KERNEL");
  return chosen != nullptr && *chosen != '\0' ? chosen : "/usr/bin/linux.uml";
}

using test::ReadHostFile;
using test::WriteHostFile;

bool SafeForCommandLine(const std::string& path) {
  return !path.empty() && path.find_first_of(", \t\n") == std::string::npos;
}

// UML 6.1 saves a guest process's vector registers with PTRACE_GETREGSET(NT_X86_XSTATE) into a
// buffer sized for AVX; a host whose XSAVE area is larger (AVX-512, AMX) then refuses the
// matching SETREGSET with EFAULT and the guest's first process dies. Making the probe for that
// regset fail sends UML to its older FXSAVE path, which every x86-64 host accepts. That path
// keeps only x87 and SSE state across a guest page fault (measured: the upper halves of the
// vector registers come back zero), so the guest's init keeps glibc on its SSE routines.
bool HideXstateRegset() {
  struct sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_ptrace, 0, 5),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[0])),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PTRACE_GETREGSET, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[2])),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0x202 /* NT_X86_XSTATE */, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]),
                               filter};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

double Now() {
  timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Ends whatever is left of the guest's process group and reaps it. UML forks helpers; as a
// subreaper this process inherits those whose parent ended first.
void EndGuest(pid_t group) {
  ::kill(-group, SIGKILL);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(-group, &status, 0);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) break;  // ECHILD: all reaped
  }
}

std::string Prologue(const std::string& runFolder) {
  std::string text = "set -u\n";
  text += "RUN=" + runFolder + "\n";
  text += "CARD=$RUN/card\n";
  text += std::string("CW=") + CARDWRIGHT_EXE + "\n";
  text += std::string("PROBE=") + CW_FAT_PROBE + "\n";
  text += "mkdir -p \"$HOME\" \"$CARD\"\n";
  text +=
      "card_mount() { mkdir -p \"${2:-$CARD}\" && "
      "mount -t vfat -o shortname=mixed,utf8 \"${1:-/dev/ubda}\" \"${2:-$CARD}\"; }\n";
  // The card through a device-mapper device, so that it can be pulled: every I/O after
  // card_pull fails as on a card taken out of its reader.
  text +=
      "card_dm() { read s </sys/block/ubda/size && "
      "dmsetup create card --table \"0 $s linear /dev/ubda 0\" && dmsetup mknodes card; }\n";
  text +=
      "card_pull() { read s </sys/block/ubda/size && "
      "dmsetup load card --table \"0 $s error\" && dmsetup suspend --nolockfs card && "
      "dmsetup resume card; }\n";
  text += "home_mount() { mount -t ext4 \"$1\" \"$HOME\"; }\n";
  text +=
      "step() { n=$1; shift; \"$@\" >\"$RUN/step-$n.out\" 2>\"$RUN/step-$n.err\"; "
      "echo $? >\"$RUN/step-$n.rc\"; }\n";
  return text;
}

std::string ProbeReason() {
  if (::access(Kernel().c_str(), X_OK) != 0) {
    return Kernel() + " is missing (Debian package user-mode-linux)";
  }
  if (::access(CW_UML_INIT, X_OK) != 0) return std::string(CW_UML_INIT) + " is not built";
  if (!SafeForCommandLine(CW_UML_INIT) || !SafeForCommandLine(CARDWRIGHT_EXE)) {
    return "the build folder's path holds a comma or a blank, which the guest's command line "
           "cannot carry";
  }
  const test::TempDir folder;
  std::string reason;
  {
    Guest guest(folder.path());
    const GuestRun run =
        guest.Run("grep -qw vfat /proc/filesystems || exit 3\n"
                  "grep -qw device-mapper /proc/misc || exit 4\n",
                  {}, 30);
    if (!run.finished) {
      reason = "User-Mode Linux does not start here:\n" + run.Describe();
    } else if (run.status != 0) {
      reason = "the guest cannot load the FAT or device-mapper modules:\n" + run.Describe();
    }
  }
  return reason;
}

}  // namespace

const std::string& UmlUnavailableReason() {
  static const std::string reason = ProbeReason();
  return reason;
}

std::string GuestRun::Describe() const {
  std::ostringstream text;
  text << "finished: " << finished << (timedOut ? " (timed out)" : "") << ", status: " << status
       << "\n--- scenario output\n"
       << log << "\n--- init\n"
       << initLog << "\n--- still mounted at power-off\n"
       << unmountLog << "\n--- console (last 3000 characters)\n"
       << (console.size() > 3000 ? console.substr(console.size() - 3000) : console);
  return text.str();
}

Guest::Guest(std::string runFolder) : runFolder_(std::move(runFolder)) {}

GuestRun Guest::Run(const std::string& script, const std::vector<std::string>& disks,
                    int timeoutSeconds) {
  GuestRun run;
  if (!SafeForCommandLine(runFolder_)) {
    run.log = "run folder unfit for the guest's command line: " + runFolder_;
    return run;
  }
  WriteHostFile(runFolder_ + "/guest.sh", Prologue(runFolder_) + script);
  ::unlink((runFolder_ + "/guest.rc").c_str());

  const std::string kernel = Kernel();
  std::vector<std::string> args = {kernel,
                                   "mem=512M",
                                   "rootfstype=hostfs",
                                   "rw",
                                   "root=/dev/root",
                                   "rootflags=/",
                                   std::string("init=") + CW_UML_INIT,
                                   "con=null",
                                   "con0=null,fd:1",
                                   "quiet",
                                   "initcall_blacklist=raid6_select_algo",
                                   "pty.legacy_count=0",
                                   "uml_dir=" + runFolder_,
                                   "cw_run=" + runFolder_};
  for (size_t i = 0; i < disks.size(); ++i) {
    if (!SafeForCommandLine(disks[i])) {
      run.log = "disk path unfit for the guest's command line: " + disks[i];
      return run;
    }
    args.push_back("ubd" + std::to_string(i) + "=" + disks[i]);
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
  const std::string consolePath = runFolder_ + "/console.log";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(consolePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) _exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    if (!HideXstateRegset()) _exit(126);
    ::execv(kernel.c_str(), argv.data());
    _exit(127);
  }
  if (pid < 0) {
    run.log = std::string("fork: ") + std::strerror(errno);
    return run;
  }
  ::setpgid(pid, pid);  // also from here, so the group exists before we may signal it

  const double deadline = Now() + timeoutSeconds;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) break;
    if (Now() > deadline) {
      run.timedOut = true;
      break;
    }
    const timespec pause = {0, 5 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
  EndGuest(pid);

  run.console = ReadHostFile(consolePath);
  run.log = ReadHostFile(runFolder_ + "/guest.log");
  run.initLog = ReadHostFile(runFolder_ + "/init.log");
  run.unmountLog = ReadHostFile(runFolder_ + "/unmount.log");
  const std::string rc = ReadHostFile(runFolder_ + "/guest.rc");
  if (!rc.empty() && !run.timedOut) {
    run.finished = true;
    run.status = std::atoi(rc.c_str());
  }
  return run;
}

StepResult Guest::Step(const std::string& name) const {
  StepResult result;
  const std::string base = runFolder_ + "/step-" + name;
  const std::string rc = ReadHostFile(base + ".rc");
  if (!rc.empty()) result.exitCode = std::atoi(rc.c_str());
  result.out = ReadHostFile(base + ".out");
  result.err = ReadHostFile(base + ".err");
  return result;
}

}  // namespace cw::fat
