#pragma once
// How a step below the job reports: log lines, and messages the user must see. The running
// job (JobState) is one; a step takes it with the Platform it works on and returns what it
// finds, so it needs nothing else of the job.

#include <string>

namespace cw {

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Exclamation, Warning, Question };
enum class MessageResult { Ok = 1, Cancel = 2 };

class Reporter {
 public:
  virtual ~Reporter() = default;
  // Writes one line to the log; nothing when there is no log.
  virtual void Log(const std::string& message) const = 0;
  void LogF(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  // Shows a message box (Cancel when nobody can answer).
  virtual MessageResult ShowMessage(const std::string& text, MessageButtons buttons,
                                    MessageIcon icon) const = 0;
  // Shows an OK box, then keeps the text in the job's transcript, as most failures do.
  virtual void ShowAndRecord(const std::string& text, MessageIcon icon) const = 0;
};

}  // namespace cw
