#include "card/card_identity.h"

#include "platform/text.h"

namespace cw {

std::string SerialText(uint32_t serial) {
  if (serial == 0) return "unknown";
  return Format("%04X-%04X", serial >> 16, serial & 0xFFFF);
}

CardIdentity TakeCardIdentity(Platform& platform, const std::string& flashPath) {
  CardIdentity card;
  card.letter = flashPath.substr(0, 2);
  const std::string root = card.letter + "\\";
  card.present = platform.GetVolumeInformation(root, &card.label, &card.fileSystem, &card.serial);
  if (!card.present) return card;
  uint64_t freeBytes = 0;
  if (!platform.GetDiskSpace(root, &card.bytes, &freeBytes)) card.bytes = 0;
  card.hasFolder = platform.GetDriveFolderId(root, &card.folderDevice, &card.folderNode);
  return card;
}

bool SameCard(const CardIdentity& first, const CardIdentity& found) {
  if (first.present != found.present) return false;
  if (first.serial != 0 && found.serial != 0 && first.serial != found.serial) return false;
  if (first.hasFolder && found.hasFolder &&
      (first.folderDevice != found.folderDevice || first.folderNode != found.folderNode))
    return false;
  return first.label == found.label && first.fileSystem == found.fileSystem &&
         (first.bytes == 0 || found.bytes == 0 || first.bytes == found.bytes);
}

std::string DescribeCard(const CardIdentity& card) {
  if (card.serial != 0) return "serial " + SerialText(card.serial);
  if (!card.label.empty()) return "label \"" + card.label + "\"";
  return Format("%llu bytes", static_cast<unsigned long long>(card.bytes));
}

std::string CardDifference(const CardIdentity& first, const CardIdentity& found) {
  // A serial only one side knows tells nothing: the field that does differ is named.
  if (first.serial != 0 && found.serial != 0 && first.serial != found.serial)
    return "serial " + SerialText(first.serial) + ", found " + SerialText(found.serial);
  if (first.label != found.label)
    return "label \"" + first.label + "\", found \"" + found.label + "\"";
  if (first.bytes != found.bytes)
    return Format("%llu bytes, found %llu bytes", static_cast<unsigned long long>(first.bytes),
                  static_cast<unsigned long long>(found.bytes));
  if (first.fileSystem != found.fileSystem)
    return first.fileSystem + ", found " + found.fileSystem;
  return Format("%s in folder %llu:%llu, found folder %llu:%llu", DescribeCard(first).c_str(),
                static_cast<unsigned long long>(first.folderDevice),
                static_cast<unsigned long long>(first.folderNode),
                static_cast<unsigned long long>(found.folderDevice),
                static_cast<unsigned long long>(found.folderNode));
}

std::string IdentityLine(const CardIdentity& card) {
  return Format("serial %s, label \"%s\", %llu bytes, %s", SerialText(card.serial).c_str(),
                card.label.c_str(), static_cast<unsigned long long>(card.bytes),
                card.fileSystem.c_str());
}

}  // namespace cw
