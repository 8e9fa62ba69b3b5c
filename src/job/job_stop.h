#pragma once
// How a job ends when it is asked to stop or meets an error nobody handled: it says where it
// stopped, leaves a changed card as a failed store does (the backup put back) and records the
// outcome for the front end. Also the texts both front ends show for each outcome.

#include <exception>
#include <string>

#include "card/card_inspection.h"
#include "job/attempt_restore.h"
#include "package/loaded_package.h"
#include "record/job_context.h"
#include "record/job_request.h"

namespace cw {

struct JobState;

// The one way a job restores: puts the backup back (AttemptRestore), first letting go of the
// package's bytes. A restore is never stopped by the first request (the window's close, a first
// Ctrl-C): only the second (a second Ctrl-C), made before the restore began or while it runs,
// stops it, between two files; that is recorded as kStoppedRestoreCut, with how many files were
// back, and rethrown.
RestoreOutcome RunRestore(JobState& state, const StoreRequest& request, CardFacts& card,
                          LoadedPackage& package);

// The store job's ends after a JobStopped or an unexpected error. `cardChanged` says whether
// the card had begun to change; the returned value is the worker's exit code. `card` and
// `package` are the store job's, for the restore.
int EndStoppedStore(JobState& state, const StoreRequest& request, CardFacts& card,
                    LoadedPackage& package, int stage, bool cardChanged);
int EndFailedStore(JobState& state, const StoreRequest& request, CardFacts& card,
                   LoadedPackage& package, int stage, bool cardChanged, const std::string& error);

// The name of an unexpected error for messages: memory exhausted is named as such.
std::string DescribeError(const std::exception& error);

// The status text of a stop outcome ("Stopped: the card was not changed." ...); empty for
// kNotStopped.
std::string StopSummary(int32_t outcome);

}  // namespace cw
