#pragma once
// What every job step does besides reporting through its JobState: wait, and run
// a worker body so that a stop or an unexpected error still ends the job properly.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "record/job_state.h"

namespace cw {

// The size of each file of a list (0 when it cannot be read), looked up once for the phases
// that copy whole files: their totals and each file's count come from it.
std::vector<uint64_t> SizesOfFiles(Platform& platform, const std::vector<std::string>& paths);
uint64_t TotalOf(const std::vector<uint64_t>& sizes);

// Waits through the platform's sleep (a step's retries).
void Wait(Platform& platform, uint32_t milliseconds);

// Runs a worker body of the job `state`. JobStopped becomes exit code 5 with jobRunning
// cleared; any other exception clears jobRunning and ends the job as failed (0).
int RunWorker(JobState& state, const std::function<int()>& body);

}  // namespace cw
