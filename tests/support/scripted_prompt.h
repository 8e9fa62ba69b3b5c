#pragma once
// A prompt that answers from a script and records every call, for job tests. Thread-safe: jobs
// call it from their worker thread while the test thread sets it up and reads it.

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "record/prompt.h"

namespace cw {

struct PromptCall {
  bool isChooser = false;  // the panel model chooser, else a message box
  std::string text;        // message boxes only
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::None;
  int currentTargetType = 0;  // chooser only
};

class ScriptedPrompt : public Prompt {
 public:
  MessageResult MessageBox(const std::string& text, MessageButtons buttons,
                           MessageIcon icon) override;
  int ChooseModel(int currentTargetType) override;
  // Counted: a closing front end answers every open question Cancel.
  void CloseAll() override;
  size_t CloseAllCount() const;

  // Answers of OK/Cancel boxes, in order; OK boxes take none. When the queue is empty the
  // default answer (OK unless changed) is given.
  void QueueAnswer(MessageResult answer);
  void SetDefaultAnswer(MessageResult answer);
  // Done while each message box is shown, before it is answered (the user swaps a card
  // meanwhile); set before the job starts.
  std::function<void(const std::string& text)> whileShown;
  // Chooser results, in order; when empty the default: the current value unchanged (closed
  // without OK), or a fixed value once set.
  void QueueModelChoice(int targetType);
  void SetDefaultModelChoice(std::optional<int> targetType);

  std::vector<PromptCall> calls() const;
  // The texts of the message boxes shown, in order.
  std::vector<std::string> messages() const;
  // True when some message box text contains `text`.
  bool Contains(const std::string& text) const;
  // Number of message boxes shown; with a text, those whose text contains it.
  size_t Count() const;
  size_t Count(const std::string& text) const;
  size_t ChooserCount() const;

 private:
  mutable std::mutex mutex_;
  std::vector<PromptCall> calls_;
  std::deque<MessageResult> answers_;
  MessageResult defaultAnswer_ = MessageResult::Ok;
  std::deque<int> choices_;
  std::optional<int> defaultChoice_;
  size_t closeAlls_ = 0;
};

}  // namespace cw
