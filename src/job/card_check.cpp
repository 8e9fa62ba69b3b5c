#include "job/card_check.h"

#include "card/card_identity.h"
#include "card/volume.h"
#include "record/job_state.h"
#include "platform/text.h"

namespace cw {
namespace {

// What became of the first card, and how to finish with it once it is back in the slot.
std::string LeftText(FirstCardLeft left, const std::string& letter) {
  const std::string verify = "cardwright verify --card " + letter;
  const std::string restore = "cardwright store --card " + letter + " --restore-only";
  switch (left) {
    case FirstCardLeft::kUnchanged:
      return "is unchanged.";
    case FirstCardLeft::kWrittenNotVerified:
      return "holds the new files but was not verified.\r\nTo finish with it, put it back and "
             "run: " + verify + "\r\n(if that fails: " + restore + ")";
    case FirstCardLeft::kNotRestored:
      return "holds files of this job; its backup was not put back.\r\nTo finish with it, put "
             "it back and run: " + restore;
    case FirstCardLeft::kRestoredNotVerified:
      return "is partly restored: its backup's files are back but were not verified.\r\nTo "
             "finish with it, put it back and run: " + restore;
    case FirstCardLeft::kVerifiedNoRecord:
      return "holds the new files and verified; only its upgrade record was not added.";
    case FirstCardLeft::kNoVerdict:
      break;
  }
  return "was not verified: there is no verdict on either card.\r\nTo verify it, put it back "
         "and run: " + verify;
}

}  // namespace

void TakeFirstCardIdentity(JobState& state, CardFacts& card) {
  card.identity = TakeCardIdentity(state.platform, state.globalFlashPath);
  state.Log("  card identity: " + IdentityLine(card.identity));
}

void ConfirmSameCard(JobState& state, const CardFacts& card, FirstCardLeft left) {
  const CardIdentity& first = card.identity;
  if (!first.present) return;  // a job that never took it has nothing to hold the card to
  for (bool asked = false;; asked = true) {
    const CardIdentity found = TakeCardIdentity(state.platform, first.letter);
    // An empty slot takes no writes: the steps after meet the missing card as they always
    // did, and a card put in later is held to the first at the next check.
    if (!found.present || SameCard(first, found)) {
      if (asked) state.Log("  the first card is back in " + first.letter + ".");
      return;
    }
    const std::string what = "The card in " + first.letter + " " + kOtherCardQuestionMark +
                             " (" + CardDifference(first, found) +
                             "). Nothing was written to it.";
    state.Log("  " + what);
    const MessageResult answer =
        state.ShowMessage(what + " Put the first card back and choose OK, or Cancel.",
                          MessageButtons::OkCancel, MessageIcon::Warning);
    state.StopIfRequested();
    if (answer != MessageResult::Ok) {
      throw CardReplaced{what + "\r\nThe job ended. The first card (" + DescribeCard(first) +
                         ") " + LeftText(left, first.letter) + "\r\n"};
    }
  }
}

bool EjectAndConfirm(JobState& state, const CardFacts& card, FirstCardLeft left) {
  const bool ejected = EjectCompactFlash(
      state.platform, state, state.globalFlashPath.empty() ? '\0' : state.globalFlashPath[0]);
  ConfirmSameCard(state, card, left);
  return ejected;
}

int EndReplacedCard(JobState& state, const CardReplaced& replaced) {
  JobContext& job = state.job;
  state.Log("  the job ended: the first card was not put back.");
  state.SetStatus("The job ended: the card in the slot is not the card it began with.");
  state.ShowAndRecord(replaced.text, MessageIcon::Warning);
  job.jobRunning = 0;
  return kExitCardReplaced;
}

}  // namespace cw
