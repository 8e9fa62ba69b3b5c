#include "record/job_io.h"

#include <exception>
#include <new>

#include "platform/platform.h"

namespace cw {
namespace {

// The last words of a worker that met an error nobody handled; never throws itself.
void RecordUnexpected(const JobState& state, const char* what) {
  try {
    state.Log(std::string("  job ended by an unexpected error: ") + what);
    state.ShowUnexpectedError(what);
  } catch (...) {
  }
}

}  // namespace

std::vector<uint64_t> SizesOfFiles(Platform& platform, const std::vector<std::string>& paths) {
  std::vector<uint64_t> sizes;
  sizes.reserve(paths.size());
  for (const std::string& path : paths) {
    FindEntry info;
    sizes.push_back(platform.GetFileInfo(path, &info) ? info.size : 0);
  }
  return sizes;
}

uint64_t TotalOf(const std::vector<uint64_t>& sizes) {
  uint64_t total = 0;
  for (const uint64_t size : sizes) total += size;
  return total;
}

void Wait(Platform& platform, uint32_t milliseconds) { platform.Sleep(milliseconds); }

int RunWorker(JobState& state, const std::function<int()>& body) {
  state.stopLevel = 1;
  int code = 0;
  try {
    code = body();
  } catch (const JobStopped&) {
    code = kExitStopped;
  } catch (const std::bad_alloc&) {
    RecordUnexpected(state, "memory exhausted");
    code = 0;
  } catch (const std::exception& e) {
    // A worker never takes the process down: the job ends as failed.
    RecordUnexpected(state, e.what());
    code = 0;
  } catch (...) {
    RecordUnexpected(state, "unknown");
    code = 0;
  }
  // Every exit of a worker clears jobRunning, also one whose body forgot to.
  state.job.jobRunning = 0;
  return code;
}

}  // namespace cw
