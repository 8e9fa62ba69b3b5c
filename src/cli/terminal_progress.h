#pragma once
// A job's progress on a terminal: one line redrawn in place, only when its text changed and at
// most ten times a second. While a phase with amounts runs (backup, extraction, restore,
// verification) the line shows the phase, files and bytes done of their totals, the rate and
// the time left; each such phase, once it ends, leaves one last line with its bar full when
// every file was done. Between them the line shows the job's status text.

#include <chrono>
#include <cstdint>
#include <string>

#include "record/job_context.h"

namespace cw::cli {

// One phase's amounts as the line shows them. `seconds`: since the phase was first seen
// running; below zero when unknown (the phase began and ended between two looks).
struct PhaseFigures {
  int32_t phase = kProgressNone;
  int64_t filesDone = 0, filesTotal = 0;
  int64_t bytesDone = 0, bytesTotal = 0;
  double seconds = -1;
};

// Whether `fd` is a terminal a person reads (on Windows, a console; the NUL device, which the
// C runtime also counts as a character device, is none).
bool IsTerminal(int fd);

// The columns of the terminal on `fd` (on Windows, of the console); 80 when unknown.
int TerminalColumns(int fd);

// A status text on one terminal line.
std::string OneLine(const std::string& text);

// "Extraction   [#####...] 1200/2000 files, 310.2/512.0 MB, 85.3 MB/s, 0:03 left"; a phase
// whose files are all done ends in "done" instead of the time left.
std::string PhaseLine(const PhaseFigures& figures);

class TerminalProgress {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kMinInterval = std::chrono::milliseconds(100);

  // `width`: the terminal's columns; a longer line is cut so that it never wraps.
  explicit TerminalProgress(int width = 80) : width_(width) {}

  // Before a job starts: phases counted by an earlier job are not shown again.
  void Begin(const JobContext& job);
  // The text to write for the job's state at `now`, empty when nothing is to be drawn.
  // `final`: the job has ended; every phase not yet closed gets its last line, and the status
  // line is drawn whatever the time and ended with a newline.
  std::string Update(const JobContext& job, Clock::time_point now, bool final = false);
  // The text that blanks a line shown in place, so that a message can take its row.
  std::string Clear();

 private:
  PhaseFigures Figures(const JobContext& job, int32_t phase, Clock::time_point now) const;
  std::string Closed(const PhaseFigures& figures);  // a phase's last line, with its newline
  std::string Draw(const std::string& text);        // `text` in place of the line shown
  std::string Cut(const std::string& text) const;   // no longer than a line of the terminal

  int width_;
  int32_t seenStarts_[kProgressPhaseCount] = {};
  int32_t shown_ = kProgressNone;  // the phase on the line now
  Clock::time_point shownSince_{};
  std::string onLine_;  // what the line in place shows; empty when none is shown
  std::string lastText_;
  Clock::time_point lastDraw_{};
};

}  // namespace cw::cli
