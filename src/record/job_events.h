#pragma once
// What a running job tells its front end as it happens: its phases, status line, progress,
// transcript and file checks. The front end implements JobEvents and is called on the job's
// own thread; it shows what it is told and never steers the job through it. Questions and
// message boxes go through the Prompt (record/prompt.h).

#include <cstdint>
#include <string>

#include "record/job_context.h"

namespace cw {

// The phases a front end marks: a store's preparation (checks and backup), storing and
// verification; a restore and its verification; a verify-only job's reading of the card.
enum class JobPhase : int32_t {
  kPreparation,
  kStore,
  kVerify,
  kRestore,
  kRestoreVerify,
  kVerifyOnly,
};
inline constexpr int kJobPhaseCount = 6;

// A phase as reports name it.
inline const char* PhaseName(JobPhase phase) {
  switch (phase) {
    case JobPhase::kPreparation:
      return "prep";
    case JobPhase::kStore:
      return "store";
    case JobPhase::kVerify:
      return "verify";
    case JobPhase::kRestore:
      return "restore";
    case JobPhase::kRestoreVerify:
      return "restore_verify";
    case JobPhase::kVerifyOnly:
      break;
  }
  return "verify_only";
}

class JobEvents {
 public:
  virtual ~JobEvents() = default;
  virtual void PhaseChanged(JobPhase /*phase*/, PhaseState /*state*/) {}
  virtual void StatusChanged(const std::string& /*text*/) {}
  // The bar's range (its position back at `min`; any phase amounts end), and its position.
  virtual void ProgressRange(int32_t /*min*/, int32_t /*max*/) {}
  virtual void ProgressPosition(int32_t /*pos*/) {}
  // `phase` begins counting `files` files of `bytes` bytes; each file done adds itself.
  virtual void AmountsStarted(ProgressPhase /*phase*/, int64_t /*files*/, uint64_t /*bytes*/) {}
  virtual void FileDone(ProgressPhase /*phase*/, uint64_t /*bytes*/) {}
  virtual void TranscriptAppended(const std::string& /*text*/) {}
  virtual void FileChecked(const FileCheck& /*check*/) {}
};

}  // namespace cw
