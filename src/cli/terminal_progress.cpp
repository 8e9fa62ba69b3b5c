#include "cli/terminal_progress.h"

#include <algorithm>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "record/job_state.h"
#include "platform/text.h"

namespace cw::cli {
namespace {

constexpr int kBarWidth = 20;
constexpr double kKilobyte = 1e3;
constexpr double kMegabyte = 1e6;
// Below this a rate is mostly noise.
constexpr double kMinRateSeconds = 0.2;

const char* PhaseName(int32_t phase) {
  switch (phase) {
    case kProgressBackup: return "Backup";
    case kProgressExtraction: return "Extraction";
    case kProgressRestore: return "Restore";
    case kProgressVerification: return "Verification";
    default: return "";
  }
}

std::string Bar(int64_t done, int64_t total, bool complete) {
  int filled = kBarWidth;
  if (!complete) {
    filled = total > 0 ? static_cast<int>(kBarWidth * std::clamp(done, int64_t{0}, total) / total)
                       : 0;
    // Full only when the phase is.
    filled = std::min(filled, kBarWidth - 1);
  }
  return "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]";
}

std::string Duration(double seconds) {
  const int64_t whole = static_cast<int64_t>(seconds + 0.5);
  return Format("%lld:%02lld", static_cast<long long>(whole / 60),
                static_cast<long long>(whole % 60));
}

}  // namespace

std::string OneLine(const std::string& text) {
  std::string line = ReplaceAll(text, "\r\n", " ");
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  return line;
}

std::string PhaseLine(const PhaseFigures& f) {
  const bool complete = f.filesTotal >= 0 && f.filesDone >= f.filesTotal;
  // Bytes tell progress better than files; a phase of empty files has only files.
  const std::string bar = f.bytesTotal > 0 ? Bar(f.bytesDone, f.bytesTotal, complete)
                                           : Bar(f.filesDone, f.filesTotal, complete);
  // Amounts below a megabyte in kilobytes, so that a small phase does not read as nothing.
  const bool small = f.bytesTotal < kMegabyte;
  const double unit = small ? kKilobyte : kMegabyte;
  std::string line = Format("%-12s %s %lld/%lld files, %.1f/%.1f %s", PhaseName(f.phase),
                            bar.c_str(), static_cast<long long>(f.filesDone),
                            static_cast<long long>(f.filesTotal), f.bytesDone / unit,
                            f.bytesTotal / unit, small ? "kB" : "MB");
  const bool rateKnown = f.seconds >= kMinRateSeconds && f.bytesDone > 0;
  const double rate = rateKnown ? f.bytesDone / f.seconds : 0;
  if (rateKnown) line += Format(", %.1f MB/s", rate / kMegabyte);
  if (complete) {
    line += ", done";
  } else if (rateKnown && f.bytesTotal >= f.bytesDone) {
    line += ", " + Duration((f.bytesTotal - f.bytesDone) / rate) + " left";
  }
  return line;
}

bool IsTerminal(int fd) {
#ifdef _WIN32
  DWORD mode = 0;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
#else
  return ::isatty(fd) == 1;
#endif
}

int TerminalColumns(int fd) {
  constexpr int kUsual = 80;
#ifdef _WIN32
  (void)fd;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
  return kUsual;
#else
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kUsual;
#endif
}

void TerminalProgress::Begin(const JobContext& job) {
  for (int32_t phase = 0; phase < kProgressPhaseCount; ++phase)
    seenStarts_[phase] = job.phaseAmounts[phase].starts;
  shown_ = kProgressNone;
}

PhaseFigures TerminalProgress::Figures(const JobContext& job, int32_t phase,
                                       Clock::time_point now) const {
  const PhaseAmounts& amounts = job.phaseAmounts[phase];
  PhaseFigures f;
  f.phase = phase;
  // Done before totals: a total read after its count never trails it.
  f.filesDone = amounts.filesDone;
  f.bytesDone = amounts.bytesDone;
  f.filesTotal = amounts.filesTotal;
  f.bytesTotal = amounts.bytesTotal;
  if (phase == shown_) f.seconds = std::chrono::duration<double>(now - shownSince_).count();
  return f;
}

std::string TerminalProgress::Cut(const std::string& text) const {
  return text.substr(0, static_cast<size_t>(std::max(width_ - 1, 1)));
}

std::string TerminalProgress::Draw(const std::string& text) {
  const std::string line = Cut(text);
  // A longer line is blanked with spaces first: works on every console, escapes or not.
  std::string out = onLine_.size() > line.size() ? Clear() : "\r";
  out += line;
  onLine_ = line;
  return out;
}

std::string TerminalProgress::Closed(const PhaseFigures& figures) {
  std::string out = Draw(PhaseLine(figures)) + "\n";
  onLine_.clear();
  lastText_.clear();
  return out;
}

std::string TerminalProgress::Clear() {
  if (onLine_.empty()) return "";
  std::string out = "\r" + std::string(onLine_.size(), ' ') + "\r";
  onLine_.clear();
  lastText_.clear();
  return out;
}

std::string TerminalProgress::Update(const JobContext& job, Clock::time_point now, bool final) {
  std::string out;
  const int32_t running = job.progressPhase;

  // The phase on the line has ended, or begun again: its last line stays on the terminal.
  if (shown_ != kProgressNone &&
      (running != shown_ || job.phaseAmounts[shown_].starts != seenStarts_[shown_] || final)) {
    out += Closed(Figures(job, shown_, now));
    shown_ = kProgressNone;
  }
  // Phases that began and ended between two looks get their last line too.
  for (int32_t phase = kProgressNone + 1; phase < kProgressPhaseCount; ++phase) {
    const int32_t starts = job.phaseAmounts[phase].starts;
    if (starts == seenStarts_[phase]) continue;
    seenStarts_[phase] = starts;
    if (phase == running && !final) {
      shown_ = phase;
      shownSince_ = now;
    } else {
      out += Closed(Figures(job, phase, now));
    }
  }
  if (shown_ != kProgressNone) {
    const PhaseFigures figures = Figures(job, shown_, now);
    if (figures.filesDone >= figures.filesTotal) {
      out += Closed(figures);
      shown_ = kProgressNone;
    }
  }

  const std::string text = shown_ != kProgressNone ? PhaseLine(Figures(job, shown_, now))
                                                   : OneLine(job.statusText.Get());
  if (final) {
    // The line stays as it is when it already shows the text.
    if (!text.empty()) out += (onLine_ == Cut(text) ? "" : Draw(text)) + "\n";
    onLine_.clear();
    lastText_.clear();
    return out;
  }
  if (text != lastText_ && (now - lastDraw_ >= kMinInterval || lastText_.empty())) {
    out += Draw(text);
    lastText_ = text;
    lastDraw_ = now;
  }
  return out;
}

}  // namespace cw::cli
