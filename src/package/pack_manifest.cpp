#include "package/pack_manifest.h"

#include <charconv>

#include "package/byte_reader.h"
#include "package/card_path.h"
#include "package/crc_list_writer.h"
#include "package/package_parser.h"
#include "platform/platform.h"
#include "rules/bhelper.h"

namespace cw {
namespace {

// Blank-separated words; a word in double quotes may hold blanks. No escapes: backslashes are
// path separators.
bool SplitWords(const std::string& line, std::vector<std::string>* words, std::string* error) {
  size_t at = 0;
  while (true) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at >= line.size()) return true;
    if (line[at] == '"') {
      const size_t close = line.find('"', at + 1);
      if (close == std::string::npos) {
        *error = "missing closing quote";
        return false;
      }
      words->push_back(line.substr(at + 1, close - at - 1));
      at = close + 1;
    } else {
      const size_t end = line.find_first_of(" \t", at);
      words->push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
      at = end == std::string::npos ? line.size() : end;
    }
  }
}

bool ParseInt(const std::string& word, int32_t* value) {
  const char* end = word.data() + word.size();
  auto [ptr, ec] = std::from_chars(word.data(), end, *value);
  return ec == std::errc() && ptr == end && !word.empty();
}

bool ParseLetter(const std::string& word, char* letter) {
  if (word == "-") {
    *letter = 0;
    return true;
  }
  if (word.size() != 1) return false;
  *letter = word[0];
  return true;
}

bool ParseSwitch(const std::string& word, bool* on) {
  if (word == "on" || word == "yes") return *on = true, true;
  if (word == "off" || word == "no") return *on = false, true;
  return false;
}

// "format 1 9 A": version, revision and letter into three optional fields.
bool ParseVersion(const std::vector<std::string>& words, std::optional<int32_t>* version,
                  std::optional<int32_t>* revision, std::optional<char>* letter) {
  int32_t v, r;
  char l;
  if (words.size() != 4 || !ParseInt(words[1], &v) || !ParseInt(words[2], &r) ||
      !ParseLetter(words[3], &l)) {
    return false;
  }
  *version = v;
  *revision = r;
  *letter = l;
  return true;
}

bool ParseStatement(const std::vector<std::string>& w, Manifest* manifest, std::string* error) {
  PackageSpec& spec = manifest->spec;
  const std::string& key = w[0];
  bool ok = false;
  if (key == "title") {
    ok = w.size() == 2;
    if (ok) spec.title = w[1];
  } else if (key == "header") {
    ok = w.size() == 7;
    for (size_t i = 0; ok && i < 6; ++i) ok = ParseInt(w[i + 1], &spec.headerWords[i]);
  } else if (key == "release") {
    ok = w.size() == 2 && ParseInt(w[1], &spec.releaseNumber);
  } else if (key == "format") {
    ok = ParseVersion(w, &spec.formatVersion, &spec.formatRevision, &spec.formatLetter);
  } else if (key == "generator") {
    ok = ParseVersion(w, &spec.generatorVersion, &spec.generatorRevision, &spec.generatorLetter);
  } else if (key == "engine") {
    ok = ParseVersion(w, &spec.engineVersion, &spec.engineRevision, &spec.engineLetter);
  } else if (key == "panel") {
    ok = ParseVersion(w, &spec.panelVersion, &spec.panelRevision, &spec.panelLetter);
  } else if (key == "wince") {
    int32_t value;
    ok = w.size() == 2 && ParseInt(w[1], &value);
    if (ok) spec.winceIncluded = value;
  } else if (key == "panel3950") {
    ok = w.size() == 2 && ParseSwitch(w[1], &spec.panel3950Support);
  } else if (key == "crc") {
    ok = w.size() == 2 && ParseSwitch(w[1], &spec.setCrc);
  } else if (key == "file" || key == "crclist") {
    PackageFileSpec file;
    ManifestFile source;
    if (key == "file") {
      ok = w.size() == 5 && ParseInt(w[1], &file.kind);
      if (ok) source.source = w[4];
    } else {
      ok = (w.size() == 3 || w.size() == 4) && (w[1] == "3940" || w[1] == "3950");
      if (ok) {
        source.crcListModel = w[1] == "3940" ? 3940 : 3950;
        file.kind = source.crcListModel == 3940 ? kKindPanel3940Raw : kKindPanel3950Raw;
      }
    }
    if (ok) {
      file.cardPath = w[2];
      file.checkPath = w.size() > 3 && w[3] != "-" ? w[3] : "";
      if (!CardPathIsSafe(file.cardPath) || file.cardPath.empty()) {
        *error = "card path names no file below the card root: " + file.cardPath;
        return false;
      }
      if (file.cardPath.size() >= kPathFieldSize || file.checkPath.size() >= kPathFieldSize) {
        *error = "a path is longer than 299 characters";
        return false;
      }
      spec.files.push_back(file);
      manifest->sources.push_back(source);
    }
  } else {
    *error = "unknown statement '" + key + "'";
    return false;
  }
  if (!ok) *error = "wrong values for '" + key + "'";
  return ok;
}

bool ReadHostFile(Platform& platform, const std::string& path, std::string* content) {
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  Bytes bytes;
  if (!file || !ReadWholeFile(*file, kMaxPackageBytes, &bytes)) return false;
  content->assign(bytes.begin(), bytes.end());
  return true;
}

bool InModel(int32_t kind, int model) {
  return model == 3940 ? (kind == kKindPanel3940 || kind == kKindPanel3940Raw)
                       : (kind == kKindPanel3950 || kind == kKindPanel3950Raw);
}

}  // namespace

bool ParseManifest(const std::string& text, Manifest* manifest, std::string* error) {
  *manifest = Manifest{};
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> words;
    std::string reason;
    if (!SplitWords(line, &words, &reason) ||
        (!words.empty() && words[0][0] != '#' && !ParseStatement(words, manifest, &reason))) {
      *error = "manifest line " + std::to_string(number) + ": " + reason;
      return false;
    }
  }
  return true;
}

bool LoadManifest(Platform& platform, const std::string& path, PackageSpec* spec,
                  std::string* error) {
  std::string text;
  if (!ReadHostFile(platform, path, &text)) {
    *error = "cannot read the manifest " + path;
    return false;
  }
  Manifest manifest;
  if (!ParseManifest(text, &manifest, error)) return false;

  const std::string hostPath = platform.ToHostPath(path);
  const size_t slash = hostPath.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : hostPath.substr(0, slash + 1);
  for (size_t i = 0; i < manifest.sources.size(); ++i) {
    const std::string& source = manifest.sources[i].source;
    if (manifest.sources[i].crcListModel) continue;
    const bool absolute = source.starts_with("/") || source.starts_with("\\") ||
                          (source.size() > 1 && source[1] == ':');
    const std::string sourcePath = absolute ? source : folder + source;
    if (!ReadHostFile(platform, sourcePath, &manifest.spec.files[i].content)) {
      *error = "cannot read " + sourcePath;
      return false;
    }
  }
  // CRC lists name the other files of their model, in package order.
  for (size_t i = 0; i < manifest.sources.size(); ++i) {
    const int model = manifest.sources[i].crcListModel;
    if (!model) continue;
    std::vector<CRCListEntry> entries;
    for (size_t j = 0; j < manifest.spec.files.size(); ++j) {
      const PackageFileSpec& file = manifest.spec.files[j];
      if (j == i || manifest.sources[j].crcListModel || !InModel(file.kind, model)) continue;
      CBHelper helper;
      entries.push_back({file.cardPath,
                         CBHelper::BufferCRC(reinterpret_cast<const unsigned char*>(file.content.data()),
                                             static_cast<uint32_t>(file.content.size()))});
    }
    manifest.spec.files[i].content = BuildCRCList(entries);
  }
  *spec = std::move(manifest.spec);
  return true;
}

}  // namespace cw
