#pragma once
// A card known by who it is, not by the slot it sits in: its identity is taken with a few
// volume queries (never a scan of its files) and compared field by field.

#include <string>

#include "platform/platform.h"
#include "record/card_identity.h"

namespace cw {

// "1234-ABCD", as Windows shows a volume serial number; "unknown" for 0.
std::string SerialText(uint32_t serial);

// The identity of the card in the drive of `flashPath` ("E:"); not present when no volume
// answers.
CardIdentity TakeCardIdentity(Platform& platform, const std::string& flashPath);

// The same card: every field both sides know is equal.
bool SameCard(const CardIdentity& first, const CardIdentity& found);

// The card in a few words for messages: "serial 1234-ABCD", else its label or its size.
std::string DescribeCard(const CardIdentity& card);
// What tells `found` from `first`: "serial AAAA-0001, found BBBB-0002", "found no card", ...
std::string CardDifference(const CardIdentity& first, const CardIdentity& found);
// One line for the log and the transcript: "serial 1234-ABCD, label "", 67108864 bytes, FAT16".
std::string IdentityLine(const CardIdentity& card);

}  // namespace cw
