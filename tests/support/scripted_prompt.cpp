#include "support/scripted_prompt.h"

namespace cw {

MessageResult ScriptedPrompt::MessageBox(const std::string& text, MessageButtons buttons,
                                         MessageIcon icon) {
  if (whileShown) whileShown(text);
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(PromptCall{false, text, buttons, icon, 0});
  if (buttons == MessageButtons::Ok) return MessageResult::Ok;
  if (answers_.empty()) return defaultAnswer_;
  const MessageResult answer = answers_.front();
  answers_.pop_front();
  return answer;
}

int ScriptedPrompt::ChooseModel(int currentTargetType) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(PromptCall{true, "", MessageButtons::Ok, MessageIcon::None, currentTargetType});
  if (choices_.empty()) return defaultChoice_.value_or(currentTargetType);
  const int choice = choices_.front();
  choices_.pop_front();
  return choice;
}

void ScriptedPrompt::QueueAnswer(MessageResult answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.push_back(answer);
}

void ScriptedPrompt::SetDefaultAnswer(MessageResult answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  defaultAnswer_ = answer;
}

void ScriptedPrompt::QueueModelChoice(int targetType) {
  std::lock_guard<std::mutex> lock(mutex_);
  choices_.push_back(targetType);
}

void ScriptedPrompt::SetDefaultModelChoice(std::optional<int> targetType) {
  std::lock_guard<std::mutex> lock(mutex_);
  defaultChoice_ = targetType;
}

std::vector<PromptCall> ScriptedPrompt::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<std::string> ScriptedPrompt::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> texts;
  for (const PromptCall& call : calls_)
    if (!call.isChooser) texts.push_back(call.text);
  return texts;
}

bool ScriptedPrompt::Contains(const std::string& text) const { return Count(text) > 0; }

size_t ScriptedPrompt::Count() const { return messages().size(); }

size_t ScriptedPrompt::Count(const std::string& text) const {
  size_t n = 0;
  for (const std::string& message : messages())
    if (message.find(text) != std::string::npos) ++n;
  return n;
}

size_t ScriptedPrompt::ChooserCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (const PromptCall& call : calls_) n += call.isChooser ? 1 : 0;
  return n;
}

void ScriptedPrompt::CloseAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++closeAlls_;
}

size_t ScriptedPrompt::CloseAllCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closeAlls_;
}

}  // namespace cw
