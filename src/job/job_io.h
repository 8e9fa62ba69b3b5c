#pragma once
// What every job operation does through the running job (currentJob): log a line, show a
// message, report status and progress, wait, and stop when the front end asks.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "job/job_context.h"
#include "job/prompt.h"

namespace cw {

// printf-style formatting into a std::string (the system's formats are printf formats).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes one line to the running job's log; nothing when no job or no log.
void Log(const std::string& message);
void LogF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shows a message box through the running job's prompt (Cancel when there is none).
MessageResult ShowMessage(const std::string& text, MessageButtons buttons, MessageIcon icon);
// Shows an OK box, then appends the text to diagnosticsText, as most job failures do.
void ShowAndRecord(const std::string& text, MessageIcon icon);

void SetStatus(const std::string& text);
void AppendDiagnostics(const std::string& text);
void SetProgressRange(int32_t min, int32_t max);
void SetProgressPos(int32_t pos);
// Amounts for the front ends that show them: `phase` begins counting `files` files of `bytes`
// bytes in all, after its SetProgressRange (which ends the counting of the one before); each
// file done, passed or failed, adds itself with CountFileDone.
void StartPhaseAmounts(ProgressPhase phase, int64_t files, uint64_t bytes);
void CountFileDone(uint64_t bytes);
// The size of a file (0 when it cannot be read), and of the files of a list, for the phases
// that copy whole files.
uint64_t SizeOfFile(const std::string& path);
uint64_t SizeOfFiles(const std::vector<std::string>& paths);
void SetPhase(std::atomic<int32_t>& phase, PhaseState state);
// Adds a file check to the running job's record; afterRestore is set here, from the phase.
void RecordFileCheck(FileCheck check);

// Waits through the platform's sleep (instant in tests).
void Wait(uint32_t milliseconds);

// Shows "The job ended by an unexpected error: ERROR" and records it in the transcript.
void ShowUnexpectedError(const std::string& error);

// Thrown by a long loop that sees stopRequested; the worker entry turns it into exit code 5.
struct JobStopped {};
constexpr int kExitStopped = 5;
// Throws JobStopped when stopRequested has reached the level the running step needs (1; a
// restore needs one request more). jobRunning is cleared by the worker entry, not here.
void StopIfRequested();

// Runs a worker body with `job` as currentJob. JobStopped becomes exit code 5 with jobRunning
// cleared; any other exception clears jobRunning and ends the job as failed (0).
int RunWorker(JobContext& job, const std::function<int()>& body);

}  // namespace cw
