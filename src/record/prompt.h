#pragma once
// How the job side reaches the user: message boxes, the OK/Cancel question and the panel model
// chooser. The front end implements it (window dialogs, terminal, test script). Calls come from
// the worker thread and block it until the user has answered.

#include <string>

#include "log/reporter.h"

namespace cw {

class Prompt {
 public:
  virtual ~Prompt() = default;
  // A modal message box captioned with the application's name ("cardwright").
  virtual MessageResult MessageBox(const std::string& text, MessageButtons buttons,
                                   MessageIcon icon) = 0;
  // The panel model chooser: gets the current targetType, returns the targetType after it
  // closes (2 for 3940, 3 for 3950; unchanged when closed without OK).
  virtual int ChooseModel(int currentTargetType) = 0;
  // The front end is closing: an open question is answered Cancel (a chooser closed without a
  // choice) and every later one at once, without being shown. Called on the front end's thread.
  virtual void CloseAll() {}
};

// The application's name, the caption of every message box.
inline constexpr const char* kApplicationName = "cardwright";

}  // namespace cw
