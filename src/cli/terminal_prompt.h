#pragma once
// The job's prompt on a terminal: message boxes print their text on standard error; the
// OK/Cancel question and the panel model chooser are answered from the command's flags, asked
// on a terminal, or closed without a choice when nobody can answer.

#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "record/prompt.h"

namespace cw::cli {

struct PromptAnswers {
  bool yes = false;               // --yes: the OK/Cancel question is answered OK
  std::optional<int> panelModel;  // --panel-model: 3940 or 3950
};

class TerminalPrompt : public Prompt {
 public:
  // `interactive`: questions may be asked on `in` (standard input is a terminal).
  TerminalPrompt(PromptAnswers answers, bool interactive, std::FILE* in = stdin,
                 std::FILE* err = stderr);

  MessageResult MessageBox(const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override;
  int ChooseModel(int currentTargetType) override;

  // Held while the prompt writes or waits for an answer; a progress line takes it (without
  // waiting) before it draws, so it never cuts into a message or a question.
  std::mutex& OutputLock() { return outputLock_; }
  // Called (under OutputLock) before the prompt writes, to clear a progress line.
  void SetBeforeOutput(std::function<void()> hook) { beforeOutput_ = std::move(hook); }

  // Every message box's text so far, in order (for the --json reports).
  std::vector<std::string> Messages() const;
  // Asked while a question waits for its answer: true ends the wait unanswered (the job is
  // being stopped), so the question closes as Cancel.
  void SetStopCheck(std::function<bool()> stopAsked) { stopAsked_ = std::move(stopAsked); }

  // The targetType of a --panel-model value: 3940 -> 2, 3950 -> 3, nullopt otherwise.
  static std::optional<int> TargetOfModel(int model);

 private:
  void BeforeOutput();
  std::optional<std::string> ReadAnswer();
  // Waits until `in_` has something to read; false when a stop came first.
  bool WaitForInput();

  PromptAnswers answers_;
  bool interactive_;
  std::FILE* in_;
  std::FILE* err_;
  mutable std::mutex outputLock_;
  std::function<void()> beforeOutput_;
  std::vector<std::string> messages_;  // under outputLock_
  std::function<bool()> stopAsked_;
};

}  // namespace cw::cli
