#pragma once
// The store job's two halves, shared by its files only: the checks and preparation of stages
// 1 to 10, and the backup, programming, verification and wrap-up that follow.

#include <cstdint>
#include <optional>

#include "backup/backup_lock.h"
#include "card/card_inspection.h"
#include "package/loaded_package.h"
#include "record/job_context.h"
#include "record/job_request.h"

namespace cw {

struct JobState;

// Logs "  Stage N..." and records it. Up to stage 16 a stop request ends the job here, between
// two steps.
void EnterStage(JobState& state, int32_t stage);
// Marks `phase` (the store job's checks, writing or verification) failed: the step the job is
// in has failed and the job ends there.
void FailStep(JobState& state, JobPhase phase);
// True once the card has begun to change: the cleaning after a Panel card's complete backup,
// or stage 11 (the first file written). The job's own record, never a look at the disk.
bool CardChanged(JobState& state);

// Stages 1 to 10. nullopt when the card may be programmed; otherwise the job has ended
// (jobRunning cleared) with the returned exit code. Reads the package's version block, inspects
// the card into `card` and loads the package into `package`, which the job keeps for the
// stages after. Stage 8, once the card's kind is final, takes `backupLock` for the backup
// folder of that kind, or ends the job when another job holds it; the caller keeps the lock
// until the job ends.
std::optional<int> CheckAndPrepareStore(JobState& state, const StoreRequest& request,
                                        BackupFolderLock& backupLock, CardFacts& card,
                                        LoadedPackage& package);
// The backup decision and stages 11 to 15; nullopt when stage 16 may follow.
std::optional<int> BackupAndProgram(JobState& state, const StoreRequest& request, CardFacts& card,
                                    LoadedPackage& package);
// Stages 16 to 18: eject, verify, append the upgrade record. The job's exit code.
int VerifyAndFinish(JobState& state, const StoreRequest& request, CardFacts& card,
                    LoadedPackage& package);

// The restore exit of a failure after the card began to change: the backup is put back and
// the job ends with exit code 0.
int RestoreExit(JobState& state, const StoreRequest& request, CardFacts& card,
                LoadedPackage& package);

}  // namespace cw
