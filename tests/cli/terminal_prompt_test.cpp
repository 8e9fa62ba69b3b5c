// The command line's prompt: which messages wait for the user on a terminal, and which
// questions --yes may answer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/terminal_prompt.h"

namespace cw::cli {
namespace {

struct PromptCase {
  const char* text;
  MessageButtons buttons;
  bool yes, interactive;
  MessageResult answer;
  const char* said;      // written to standard error after the text ("" none of these)
  const char* leftOver;  // what is left of the input "o\nnext\n"
};

std::string ReadAll(std::FILE* file) {
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

TEST(TerminalPromptTest, HandActionsWaitForEnterAndOnlyTheUserPutsACardBack) {
  const char* kStillMounted =
      "Compact Flash is still mounted.\r\nPlease remove it manually and reinsert before "
      "continuing\r\n";
  const char* kOpenFailed =
      "OpenVolume Failed. Error 2\r\nPlease remove the compact flash manually and reinsert "
      "before clicking OK.\r\n";
  const char* kOtherCard =
      "The card in E: is not the card this job began with (serial AAAA-0001, found BBBB-0002). "
      "Nothing was written to it. Put the first card back and choose OK, or Cancel.";
  const PromptCase cases[] = {
      {kStillMounted, MessageButtons::Ok, false, true, MessageResult::Ok,
       "Press Enter when done. ", "next\n"},
      {kOpenFailed, MessageButtons::Ok, true, true, MessageResult::Ok, "Press Enter when done. ",
       "next\n"},
      {kStillMounted, MessageButtons::Ok, false, false, MessageResult::Ok, "", "o\nnext\n"},
      {"File Backup Failed. Process aborted.\r\n", MessageButtons::Ok, false, true,
       MessageResult::Ok, "", "o\nnext\n"},
      {kOtherCard, MessageButtons::OkCancel, true, false, MessageResult::Cancel,
       "[Cancel] (no terminal to ask)\n", "o\nnext\n"},
      {kOtherCard, MessageButtons::OkCancel, true, true, MessageResult::Ok,
       "OK or Cancel? [o/c] ", "next\n"},
      {"All files will be replaced with new ones.\r\n", MessageButtons::OkCancel, true, false,
       MessageResult::Ok, "[OK] (--yes)\n", "o\nnext\n"},
  };
  for (const PromptCase& c : cases) {
    SCOPED_TRACE(c.text);
    std::FILE* in = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_TRUE(in != nullptr && err != nullptr);
    std::fputs("o\nnext\n", in);
    std::rewind(in);
    TerminalPrompt prompt(PromptAnswers{.yes = c.yes}, c.interactive, in, err);
    EXPECT_EQ(prompt.MessageBox(c.text, c.buttons, MessageIcon::Exclamation), c.answer);
    EXPECT_EQ(ReadAll(in), c.leftOver);
    std::rewind(err);
    const std::string said = ReadAll(err);
    std::string text = c.text;
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    EXPECT_EQ(said, text + "\n" + c.said);
    std::fclose(in);
    std::fclose(err);
  }
}

}  // namespace
}  // namespace cw::cli
