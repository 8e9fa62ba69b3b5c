#include "job/job_io.h"

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <new>

#include "job/job_values.h"
#include "log/log_to_file.h"
#include "platform/platform.h"

namespace cw {
namespace {

std::string FormatV(const char* format, va_list args) {
  char small[256];
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof(small), format, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<size_t>(needed) < sizeof(small)) return std::string(small, needed);
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(needed));
  return text;
}

// The last words of a worker that met an error nobody handled; never throws itself.
void RecordUnexpected(const char* what) {
  try {
    Log(std::string("  job ended by an unexpected error: ") + what);
    ShowUnexpectedError(what);
  } catch (...) {
  }
}

}  // namespace

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return text;
}

void Log(const std::string& message) {
  if (currentJob != nullptr && currentJob->log != nullptr) currentJob->log->Log(message);
}

void LogF(const char* format, ...) {
  if (currentJob == nullptr || currentJob->log == nullptr) return;
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  currentJob->log->Log(text);
}

MessageResult ShowMessage(const std::string& text, MessageButtons buttons, MessageIcon icon) {
  if (currentJob == nullptr || currentJob->prompt == nullptr) return MessageResult::Cancel;
  const MessageResult result = currentJob->prompt->MessageBox(text, buttons, icon);
  // A box with only an OK button can end no other way.
  return buttons == MessageButtons::Ok ? MessageResult::Ok : result;
}

void ShowAndRecord(const std::string& text, MessageIcon icon) {
  ShowMessage(text, MessageButtons::Ok, icon);
  AppendDiagnostics(text);
}

void ShowUnexpectedError(const std::string& error) {
  // Recorded first: the prompt itself may be what failed.
  const std::string text = "The job ended by an unexpected error: " + error + "\r\n";
  AppendDiagnostics(text);
  ShowMessage(text, MessageButtons::Ok, MessageIcon::Warning);
}

void SetStatus(const std::string& text) {
  if (currentJob != nullptr) currentJob->statusText.Set(text);
}

void AppendDiagnostics(const std::string& text) {
  if (currentJob != nullptr) currentJob->diagnosticsText.Append(text);
}

void SetProgressRange(int32_t min, int32_t max) {
  if (currentJob == nullptr) return;
  currentJob->progressMin = min;
  currentJob->progressMax = max;
  currentJob->progressPos = min;
  currentJob->progressPhase = kProgressNone;
  // Raised last, so the timer never applies half a range.
  currentJob->progressRangeChanged = 1;
}

void SetProgressPos(int32_t pos) {
  if (currentJob != nullptr) currentJob->progressPos = pos;
}

void StartPhaseAmounts(ProgressPhase phase, int64_t files, uint64_t bytes) {
  if (currentJob == nullptr || phase <= kProgressNone || phase >= kProgressPhaseCount) return;
  PhaseAmounts& amounts = currentJob->phaseAmounts[phase];
  amounts.filesDone = 0;
  amounts.bytesDone = 0;
  amounts.filesTotal = files;
  amounts.bytesTotal = static_cast<int64_t>(bytes);
  // Raised last: a front end that sees the new start sees the new totals.
  ++amounts.starts;
  currentJob->progressPhase = phase;
}

void CountFileDone(uint64_t bytes) {
  if (currentJob == nullptr) return;
  const int32_t phase = currentJob->progressPhase;
  if (phase <= kProgressNone || phase >= kProgressPhaseCount) return;
  PhaseAmounts& amounts = currentJob->phaseAmounts[phase];
  amounts.bytesDone += static_cast<int64_t>(bytes);
  ++amounts.filesDone;
}

uint64_t SizeOfFile(const std::string& path) {
  FindEntry info;
  return Sys().GetFileInfo(path, &info) ? info.size : 0;
}

uint64_t SizeOfFiles(const std::vector<std::string>& paths) {
  uint64_t total = 0;
  for (const std::string& path : paths) total += SizeOfFile(path);
  return total;
}

void SetPhase(std::atomic<int32_t>& phase, PhaseState state) { phase = state; }

void RecordFileCheck(FileCheck check) {
  if (currentJob == nullptr) return;
  check.afterRestore = currentJob->restoreVerifyState == kPhaseRunning;
  currentJob->fileChecks.Append(std::move(check));
}

void Wait(uint32_t milliseconds) { Sys().Sleep(milliseconds); }

void StopIfRequested() {
  if (currentJob == nullptr || currentJob->stopRequested < stopLevel) return;
  // jobRunning stays set: the job may still put the card back. The worker entry clears it.
  throw JobStopped{};
}

int RunWorker(JobContext& job, const std::function<int()>& body) {
  JobContext* const previous = currentJob;
  currentJob = &job;
  stopLevel = 1;
  int code = 0;
  try {
    code = body();
  } catch (const JobStopped&) {
    code = kExitStopped;
  } catch (const std::bad_alloc&) {
    RecordUnexpected("memory exhausted");
    code = 0;
  } catch (const std::exception& e) {
    // A worker never takes the process down: the job ends as failed.
    RecordUnexpected(e.what());
    code = 0;
  } catch (...) {
    RecordUnexpected("unknown");
    code = 0;
  }
  // Every exit of a worker clears jobRunning, also one whose body forgot to.
  job.jobRunning = 0;
  currentJob = previous;
  return code;
}

}  // namespace cw
