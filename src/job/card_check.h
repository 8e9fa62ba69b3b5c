#pragma once
// The job's card stays the card it began with: before each step that writes to the card or
// judges it, the card in the slot is known again by its identity (a few volume queries). Another
// card is never written: the user is asked to put the first one back; when they do not, the job
// ends saying what state the first card was left in and how to finish with it.

#include <string>

#include "card/card_inspection.h"

namespace cw {

struct JobState;

// The start of the question asked when another card is in the slot; a front end that answers
// questions by itself (--yes) leaves this one to the user.
inline constexpr const char* kOtherCardQuestionMark = "is not the card this job began with";

// The state the first card is left in when the job ends without it.
enum class FirstCardLeft {
  kUnchanged,            // nothing of this job was written to it
  kWrittenNotVerified,   // the package's files written, not read back
  kNotRestored,          // this job's files on it, its backup not put back
  kRestoredNotVerified,  // its backup put back, the restore not verified
  kVerifiedNoRecord,     // written and verified, the upgrade record not appended
  kNoVerdict,            // a verification that gives no verdict
};

// Thrown when the user does not put the first card back; the job's entry ends with
// EndReplacedCard. `text` is the job's last message.
struct CardReplaced {
  std::string text;
};

// The identity of the card the job begins with, kept in `card` and logged.
void TakeFirstCardIdentity(JobState& state, CardFacts& card);
// Returns when the card in the slot is the job's own card (at once, or once the user has put
// it back and chosen OK); throws CardReplaced otherwise.
void ConfirmSameCard(JobState& state, const CardFacts& card, FirstCardLeft left);
// The eject (its messages that ask for the card to be removed and reinserted included), then
// the card confirmed once it is back. The eject's own result.
bool EjectAndConfirm(JobState& state, const CardFacts& card, FirstCardLeft left);
// Ends the job after CardReplaced: the message shown, logged and kept in the transcript.
int EndReplacedCard(JobState& state, const CardReplaced& replaced);

}  // namespace cw
