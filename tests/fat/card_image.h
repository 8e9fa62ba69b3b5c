#pragma once
// A FAT card image seen from the host: made with mkfs.fat, filled and read with mtools, checked
// with fsck.fat. None of these needs the kernel's FAT driver.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cw::fat {

class CardImage {
 public:
  // Makes a sparse image of `bytes` formatted with `fatBits` (12, 16 or 32) at `path`.
  // `extraOptions` go to mkfs.fat as they are (e.g. {"-s", "1"} for one sector per cluster).
  // On failure, *error says why.
  static std::optional<CardImage> Make(const std::string& path, uint64_t bytes, int fatBits,
                                       std::string* error,
                                       const std::vector<std::string>& extraOptions = {});
  explicit CardImage(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }

  // Every file and folder on the card, hidden ones too: "DIR/" for a folder, "DIR/NAME" for a
  // file, with the names as stored (long names where there are).
  std::vector<std::string> List() const;
  // Attribute letters of every entry, from "A", "S", "H", "R" in that order ("" for none).
  std::map<std::string, std::string> Attributes() const;
  // A file's content; nullopt when it cannot be read.
  std::optional<std::string> Read(const std::string& cardPath) const;
  // Writes a file (its folders made first), replacing one of the same name.
  bool Put(const std::string& cardPath, const std::string& content) const;
  bool MakeFolder(const std::string& cardPath) const;
  // mattrib flags: "+r", "+h", "+s", "-a", ...
  bool SetAttributes(const std::string& cardPath, const std::vector<std::string>& flags) const;

  struct Check {
    bool clean = false;  // fsck.fat -n found nothing to mend
    std::string report;
  };
  Check Fsck() const;

 private:
  std::string path_;
};

}  // namespace cw::fat
