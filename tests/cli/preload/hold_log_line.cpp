// Loaded into a cardwright run (LD_PRELOAD) by the end-to-end stop tests: once the run has
// written a chosen line to its log, it is held as it next reaches for the log's lock, so a
// signal lands exactly there however loaded the machine is. It is held without the lock, so no
// other run waits on it, and the test may take the lock itself before letting it go.
//   CW_HOLD_AT    the holds, one per line, in order: "N|text" holds after the N-th log line
//                 holding `text`; "mount" as the run next calls mount(2), a card out of its slot
//   CW_HOLD_DIR   where the run says "held-K" (K from 1) and waits for the test's "go-K"
//   CW_HOLD_LOCK  the log lock's file
#include <dlfcn.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

struct Hold {
  int occurrence;
  std::string text;
  bool atMount = false;
};

std::mutex holdMutex;
std::vector<Hold> holds;
size_t nextHold = 0;
int seen = 0;
bool armed = false;  // the line of holds[nextHold] is written: hold at the next lock
bool loaded = false;

void Load() {
  loaded = true;
  const char* at = std::getenv("CW_HOLD_AT");
  if (at == nullptr) return;
  std::string rest = at;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string entry = rest.substr(0, end);
    rest = end == std::string::npos ? "" : rest.substr(end + 1);
    const size_t bar = entry.find('|');
    if (bar != std::string::npos) holds.push_back({std::atoi(entry.c_str()), entry.substr(bar + 1)});
    else if (entry == "mount") holds.push_back({0, "", true});
  }
}

std::string PathOf(int fd) {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string();
}

void Wait(size_t index) {
  const char* dirVariable = std::getenv("CW_HOLD_DIR");
  const std::string dir = dirVariable != nullptr ? dirVariable : "/tmp";
  const std::string number = std::to_string(index + 1);
  std::ofstream(dir + "/held-" + number).put('\n');
  while (!std::filesystem::exists(dir + "/go-" + number))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  using WriteFn = ssize_t (*)(int, const void*, size_t);
  static const auto realWrite = reinterpret_cast<WriteFn>(::dlsym(RTLD_NEXT, "write"));
  if (fd > 2) {
    std::lock_guard<std::mutex> lock(holdMutex);
    if (!loaded) Load();
    if (!armed && nextHold < holds.size() && !holds[nextHold].atMount &&
        PathOf(fd).ends_with("/fwp_downloader.log") &&
        std::string_view(static_cast<const char*>(data), size).find(holds[nextHold].text) !=
            std::string_view::npos &&
        ++seen == holds[nextHold].occurrence) {
      armed = true;
      seen = 0;
    }
  }
  return realWrite(fd, data, size);
}

extern "C" int flock(int fd, int operation) {
  using FlockFn = int (*)(int, int);
  static const auto realFlock = reinterpret_cast<FlockFn>(::dlsym(RTLD_NEXT, "flock"));
  if ((operation & LOCK_EX) != 0) {
    std::unique_lock<std::mutex> lock(holdMutex);
    const char* lockPath = std::getenv("CW_HOLD_LOCK");
    if (armed && lockPath != nullptr && PathOf(fd) == lockPath) {
      armed = false;
      const size_t index = nextHold++;
      lock.unlock();
      Wait(index);
    }
  }
  return realFlock(fd, operation);
}

extern "C" int mount(const char* source, const char* target, const char* type, unsigned long flags,
                     const void* data) {
  using MountFn = int (*)(const char*, const char*, const char*, unsigned long, const void*);
  static const auto realMount = reinterpret_cast<MountFn>(::dlsym(RTLD_NEXT, "mount"));
  std::unique_lock<std::mutex> lock(holdMutex);
  if (!loaded) Load();
  if (nextHold < holds.size() && holds[nextHold].atMount) {
    const size_t index = nextHold++;
    lock.unlock();
    Wait(index);
  }
  return realMount(source, target, type, flags, data);
}
