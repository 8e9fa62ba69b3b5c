// The command line's prompt: which messages wait for the user on a terminal, and which
// questions --yes may answer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "cli/terminal_prompt.h"
#include "platform/text.h"

namespace cw::cli {
namespace {

TEST(TerminalPromptTest, HandActionsWaitForEnterAndOnlyTheUserPutsACardBack) {
  const char* kStillMounted = "Compact Flash is still mounted.\r\nPlease remove it manually and "
                              "reinsert before continuing\r\n";
  const char* kOtherCard = "The card in E: is not the card this job began with (serial "
                           "AAAA-0001, found BBBB-0002). Nothing was written to it. Put the "
                           "first card back and choose OK, or Cancel.";
  constexpr auto kOk = MessageButtons::Ok, kOkCancel = MessageButtons::OkCancel;
  const struct {
    const char* text;
    MessageButtons buttons;
    bool yes, terminal;
    MessageResult answer;
    const char* said;  // on standard error after the text; ending in a space: a line read
  } rows[] = {
      {kStillMounted, kOk, false, true, MessageResult::Ok, "Press Enter when done. "},
      {"OpenVolume Failed. Error 2\r\nPlease remove the compact flash manually and reinsert "
       "before clicking OK.\r\n",
       kOk, true, true, MessageResult::Ok, "Press Enter when done. "},
      {kStillMounted, kOk, false, false, MessageResult::Ok, ""},
      {"File Backup Failed. Process aborted.\r\n", kOk, false, true, MessageResult::Ok, ""},
      {kOtherCard, kOkCancel, true, false, MessageResult::Cancel,
       "[Cancel] (no terminal to ask)\n"},
      {kOtherCard, kOkCancel, true, true, MessageResult::Ok, "OK or Cancel? [o/c] "},
      {"All files will be replaced with new ones.\r\n", kOkCancel, true, false, MessageResult::Ok,
       "[OK] (--yes)\n"},
  };
  for (const auto& c : rows) {
    SCOPED_TRACE(c.text);
    char input[] = "o\nnext\n", *said = nullptr;
    size_t size = 0;
    std::FILE* in = fmemopen(input, sizeof input - 1, "r");
    std::FILE* err = open_memstream(&said, &size);
    TerminalPrompt prompt(PromptAnswers{.yes = c.yes, .panelModel = {}}, c.terminal, in, err);
    EXPECT_EQ(prompt.MessageBox(c.text, c.buttons, MessageIcon::Exclamation), c.answer);
    EXPECT_EQ(std::ftell(in), std::string(c.said).ends_with(' ') ? 2 : 0);  // "o\n" read
    std::fclose(in);
    std::fclose(err);
    EXPECT_EQ(said, ReplaceAll(c.text, "\r\n", "\n") + "\n" + c.said);
    std::free(said);
  }
}

}  // namespace
}  // namespace cw::cli
