#include "cli/terminal_prompt.h"

#include <string>

#ifndef _WIN32
#include <poll.h>
#endif

#include "job/card_check.h"
#include "platform/text.h"

namespace cw::cli {
namespace {

// Texts keep every character but the Windows line ends, which a terminal shows as LF.
std::string ForTerminal(const std::string& text) { return ReplaceAll(text, "\r\n", "\n"); }

// Messages that ask for something done by hand before the job goes on.
bool AsksForHandAction(const std::string& text) {
  return Contains(text, "Please remove it manually and reinsert before continuing") ||
         Contains(text, "Please remove the compact flash manually and reinsert before clicking OK");
}

bool MeansOk(std::string answer) {
  answer = ToUpperAscii(answer);
  return answer == "O" || answer == "OK" || answer == "Y" || answer == "YES";
}

}  // namespace

TerminalPrompt::TerminalPrompt(PromptAnswers answers, bool interactive, std::FILE* in,
                               std::FILE* err)
    : answers_(answers), interactive_(interactive), in_(in), err_(err) {}

std::optional<int> TerminalPrompt::TargetOfModel(int model) {
  if (model == 3940) return 2;
  if (model == 3950) return 3;
  return std::nullopt;
}

void TerminalPrompt::BeforeOutput() {
  if (beforeOutput_) beforeOutput_();
}

bool TerminalPrompt::WaitForInput() {
#ifdef _WIN32
  // A console read already ends when Ctrl-C is pressed.
  return true;
#else
  const int fd = fileno(in_);
  if (fd < 0 || !stopAsked_) return true;
  constexpr int kCheckMs = 20;
  for (;;) {
    if (stopAsked_()) return false;
    pollfd wanted{fd, POLLIN, 0};
    if (::poll(&wanted, 1, kCheckMs) > 0) return true;
  }
#endif
}

std::optional<std::string> TerminalPrompt::ReadAnswer() {
  if (!WaitForInput()) {
    std::fputs("(stopping)\n", err_);
    return std::nullopt;
  }
  std::string line;
  for (int c; (c = std::fgetc(in_)) != EOF;) {
    if (c == '\n') return line;
    if (c != '\r') line += static_cast<char>(c);
  }
  if (line.empty()) return std::nullopt;  // end of input: nobody answers
  return line;
}

MessageResult TerminalPrompt::MessageBox(const std::string& text, MessageButtons buttons,
                                         MessageIcon) {
  std::lock_guard<std::mutex> lock(outputLock_);
  messages_.push_back(text);
  BeforeOutput();
  std::fputs(ForTerminal(text).c_str(), err_);
  std::fputc('\n', err_);
  // The window's Advanced Settings are options here.
  if (Contains(text, "Use Advanced Settings to set type."))
    std::fputs("On the command line: --target engine|panel\n", err_);
  if (buttons == MessageButtons::Ok) {
    // On a terminal the job waits until it is done; otherwise it goes on at once.
    if (interactive_ && AsksForHandAction(text)) {
      std::fputs("Press Enter when done. ", err_);
      std::fflush(err_);
      ReadAnswer();
    }
    std::fflush(err_);
    return MessageResult::Ok;
  }
  MessageResult result = MessageResult::Cancel;
  // Only the user can put a card back: --yes does not answer for them.
  const bool userOnly = Contains(text, kOtherCardQuestionMark);
  if (answers_.yes && !userOnly) {
    std::fputs("[OK] (--yes)\n", err_);
    result = MessageResult::Ok;
  } else if (interactive_) {
    std::fputs("OK or Cancel? [o/c] ", err_);
    std::fflush(err_);
    const std::optional<std::string> answer = ReadAnswer();
    result = answer && MeansOk(*answer) ? MessageResult::Ok : MessageResult::Cancel;
  } else if (userOnly) {
    std::fputs("[Cancel] (no terminal to ask)\n", err_);
  } else {
    std::fputs("[Cancel] (no terminal to ask; --yes answers OK)\n", err_);
  }
  std::fflush(err_);
  return result;
}

std::vector<std::string> TerminalPrompt::Messages() const {
  std::lock_guard<std::mutex> lock(outputLock_);
  return messages_;
}

int TerminalPrompt::ChooseModel(int currentTargetType) {
  if (answers_.panelModel) {
    if (std::optional<int> target = TargetOfModel(*answers_.panelModel)) return *target;
  }
  std::lock_guard<std::mutex> lock(outputLock_);
  BeforeOutput();
  if (!interactive_) {
    std::fputs("Panel model: not chosen (no terminal to ask; use --panel-model 3940|3950)\n",
               err_);
    std::fflush(err_);
    return currentTargetType;
  }
  std::fputs("Panel model, 3940 or 3950 (anything else: no choice)? ", err_);
  std::fflush(err_);
  const std::optional<std::string> answer = ReadAnswer();
  if (!answer) return currentTargetType;
  try {
    if (std::optional<int> target = TargetOfModel(std::stoi(*answer))) return *target;
  } catch (const std::exception&) {
  }
  return currentTargetType;
}

}  // namespace cw::cli
