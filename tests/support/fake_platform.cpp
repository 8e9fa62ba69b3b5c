#include "support/fake_platform.h"

#include <algorithm>
#include <utility>
#include <cctype>
#include <cstring>

#include "platform/path_limits.h"
#include "platform/wildcard.h"

namespace cw {
namespace {

using Guard = std::lock_guard<std::mutex>;

// "/fake/C" or "/fake/C/...": the host form of a path on drive C:.
bool IsFakeHostPath(const std::string& path) {
  return path.size() >= 7 && path.compare(0, 6, "/fake/") == 0 &&
         std::isalpha(static_cast<unsigned char>(path[6])) && (path.size() == 7 || path[7] == '/');
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

struct FakeVolume : Volume {
  char letter = 0;
  bool mounted = true;
};

}  // namespace

class FakeFile : public File {
 public:
  FakeFile(FakePlatform* fs, std::shared_ptr<FakePlatform::Node> node, std::string path,
           bool writable, bool appends = false)
      : fs_(fs), node_(std::move(node)), path_(std::move(path)), writable_(writable),
        appends_(appends) {}
  bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
    Guard g(fs_->mutex_);
    *bytesRead = 0;
    if (fs_->Fails("Read", path_)) return false;
    const std::string& data = node_->data;
    if (pos_ >= static_cast<int64_t>(data.size())) return true;
    *bytesRead = static_cast<uint32_t>(std::min<size_t>(size, data.size() - pos_));
    std::memcpy(buffer, data.data() + pos_, *bytesRead);
    pos_ += *bytesRead;
    return true;
  }
  bool Write(const void* buffer, uint32_t size) override {
    Guard g(fs_->mutex_);
    if (fs_->Fails("Write", path_)) return false;
    if (!writable_) return SetLastError(kErrAccessDenied), false;
    std::string& data = node_->data;
    if (appends_) pos_ = static_cast<int64_t>(data.size());
    if (data.size() < static_cast<size_t>(pos_) + size) data.resize(pos_ + size, '\0');
    std::memcpy(data.data() + pos_, buffer, size);
    pos_ += size;
    node_->time = ++fs_->clock_;
    return true;
  }
  bool Seek(int64_t offset, SeekFrom from) override {
    Guard g(fs_->mutex_);
    if (fs_->Fails("Seek", path_)) return false;
    const int64_t base = from == SeekFrom::Begin ? 0
                         : from == SeekFrom::Current ? pos_
                                                     : static_cast<int64_t>(node_->data.size());
    if (base + offset < 0) return SetLastError(87), false;  // a negative position
    pos_ = base + offset;
    return true;
  }
  int64_t Tell() override { return pos_; }
  bool GetSize(uint64_t* size) override {
    Guard g(fs_->mutex_);
    if (fs_->Fails("GetSize", path_)) return false;
    *size = node_->data.size();
    return true;
  }
  bool Flush() override {
    Guard g(fs_->mutex_);
    return !fs_->Fails("Flush", path_);
  }
  bool Close() override {
    Guard g(fs_->mutex_);
    return !fs_->Fails("Close", path_);
  }

 private:
  FakePlatform* fs_;
  std::shared_ptr<FakePlatform::Node> node_;
  std::string path_;
  bool writable_;
  bool appends_;
  int64_t pos_ = 0;
};

class FakeLock : public HeldLock {
 public:
  FakeLock(FakePlatform* fs, std::string name) : fs_(fs), name_(std::move(name)) {}
  ~FakeLock() override {
    std::lock_guard<std::mutex> lock(fs_->lockMutex_);
    fs_->heldLocks_.erase(name_);
    fs_->lockFreed_.notify_all();
  }

 private:
  FakePlatform* fs_;
  std::string name_;
};

FakePlatform::FakePlatform() {
  AddDrive('C', DriveType::Fixed, "NTFS", 64ull << 30);
  AddFolder(currentFolder_);
}

FakePlatform::~FakePlatform() = default;

// --- Paths and nodes (mutex_ held) ---

FakePlatform::Resolved FakePlatform::Resolve(const std::string& path) const {
  Resolved r;
  std::string rest;
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    r.key = std::string(1, static_cast<char>(std::toupper(path[0]))) + ":";
    rest = path.substr(2);
  } else if (IsFakeHostPath(path)) {
    // A path ToHostPath gave: "/fake/C/..." names C:\... again.
    r.key = std::string(1, static_cast<char>(std::toupper(path[6]))) + ":";
    rest = path.substr(7);
  } else if (path.rfind("\\\\", 0) == 0 || path.empty()) {
    return r;  // device and network paths are no files here
  } else {
    Resolved base = Resolve(currentFolder_);
    r.key = base.key.substr(0, 2);
    rest = base.key.substr(2) + "\\" + path;
  }
  r.hostPath = std::string("/fake/") + r.key[0];
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find_first_of("\\/", start);
    if (end == std::string::npos) end = rest.size();
    std::string part = rest.substr(start, end - start);
    // Windows drops the dots and blanks that end a name: "NAME." and "NAME " are "NAME".
    if (part != "." && part != "..")
      while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  r.name = r.key;
  for (size_t i = 0; i < parts.size(); ++i) {
    r.parentKey = r.key;
    r.key += "\\" + Upper(parts[i]);
    r.hostPath += "/" + parts[i];
    r.name = parts[i];
  }
  r.ok = true;
  return r;
}

std::string FakePlatform::Key(const std::string& path) const {
  Resolved r = Resolve(path);
  return r.ok ? r.key : Upper(path);
}

std::shared_ptr<FakePlatform::Node> FakePlatform::Find(const std::string& key) const {
  auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : it->second;
}

bool FakePlatform::Fails(const std::string& op, const std::string& path) {
  calls_.push_back(FakeCall{op, path});
  const std::string key = Key(path);
  for (auto it = swaps_.begin(); it != swaps_.end(); ++it) {
    if (it->events == 0 && op == "GetVolumeInformation" && --it->queries == 0) {
      const char letter = it->letter;
      swaps_.erase(it);
      SwapCardsLocked(letter);
      break;
    }
    if (it->events > 0 && op == it->op && (it->key.empty() || it->key == key)) --it->events;
  }
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (it->op != op || (!it->key.empty() && it->key != key)) continue;
    const uint32_t error = it->error;
    if (it->remaining > 0) {
      if (--it->remaining > 0) continue;
      failures_.erase(it);
    }
    SetLastError(error);
    return true;
  }
  return false;
}

std::shared_ptr<FakePlatform::Node> FakePlatform::Lookup(const std::string& path, Resolved* r) {
  *r = Resolve(path);
  auto node = r->ok ? Find(r->key) : nullptr;
  if (!node) Missing(*r);
  return node;
}

std::vector<const FakePlatform::Node*> FakePlatform::Children(const std::string& key) const {
  std::vector<const Node*> children;
  for (const auto& [k, node] : nodes_)
    if (k.size() > key.size() && k.compare(0, key.size(), key) == 0 && k[key.size()] == '\\' &&
        k.find('\\', key.size() + 1) == std::string::npos)
      children.push_back(node.get());
  std::sort(children.begin(), children.end(),
            [](const Node* a, const Node* b) { return a->order < b->order; });
  return children;
}

bool FakePlatform::Missing(const Resolved& r) {
  const auto parent = r.ok ? Find(r.parentKey) : nullptr;
  SetLastError(parent && parent->dir ? kErrFileNotFound : kErrPathNotFound);
  return false;
}

std::shared_ptr<FakePlatform::Node> FakePlatform::Create(const Resolved& r, bool dir) {
  auto node = std::make_shared<Node>();
  node->name = r.name;
  node->dir = dir;
  node->attributes = dir ? 0 : kAttrArchive;
  node->time = ++clock_;
  node->order = ++nextOrder_;
  nodes_[r.key] = node;
  return node;
}

void FakePlatform::MakeFolders(const std::string& path) {
  Resolved r = Resolve(path);
  if (!r.ok || Find(r.key) || r.parentKey.empty()) return;
  MakeFolders(r.parentKey);
  if (Find(r.parentKey)) Create(r, true);
}

FindEntry FakePlatform::EntryOf(const Node& node) const {
  FindEntry e;
  e.name = node.name;
  e.attributes = node.attributes | (node.dir ? kAttrDirectory : 0);
  if (e.attributes == 0) e.attributes = kAttrNormal;
  e.size = node.dir ? 0 : node.data.size();
  e.writeTime = node.time;
  return e;
}

FakePlatform::Drive* FakePlatform::DriveOf(const std::string& rootPath) {
  if (rootPath.size() < 2 || rootPath[1] != ':') return nullptr;
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(rootPath[0]))));
  return it == drives_.end() ? nullptr : &it->second;
}

// --- Setting up and inspecting ---

void FakePlatform::RemoveTree(const std::string& path) {
  Guard g(mutex_);
  const std::string key = Key(path);
  const bool root = key.size() == 2;  // "E:": the drive stays, its content goes
  std::erase_if(nodes_, [&](const auto& entry) {
    return (!root && entry.first == key) || entry.first.starts_with(key + "\\");
  });
}

void FakePlatform::AddDrive(char letter, DriveType type, const std::string& fileSystem,
                            uint64_t totalBytes, const std::string& volumeName) {
  Guard g(mutex_);
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  Drive& d = drives_[letter];
  d.type = type;
  d.fileSystem = fileSystem;
  d.totalBytes = totalBytes;
  d.volumeName = volumeName;
  Resolved root = Resolve(std::string(1, letter) + ":");
  if (!Find(root.key)) Create(root, true);
  drivesChanged_ = true;
}

void FakePlatform::SwapCards(char letter, int nthQuery, const std::string& op, int nthOp,
                             const std::string& path) {
  Guard g(mutex_);
  if (nthQuery <= 0) return SwapCardsLocked(letter);
  swaps_.push_back(SwapTrigger{letter, op, path.empty() ? "" : Key(path), nthOp, nthQuery});
}

void FakePlatform::SwapCardsLocked(char letter) {
  Drive* d = DriveOf(std::string(1, letter) + ":");
  if (d == nullptr) return;
  const std::string prefix = Key(std::string(1, letter) + ":") + "\\";
  std::map<std::string, std::shared_ptr<Node>> inSlot;
  std::erase_if(nodes_,
                [&](const auto& n) { return n.first.starts_with(prefix) && inSlot.insert(n).second; });
  nodes_.insert(d->otherNodes.begin(), d->otherNodes.end());
  d->otherNodes = std::move(inSlot);
  std::swap(d->serialNumber, d->otherSerial);
}

void FakePlatform::RemoveDrive(char letter) {
  Guard g(mutex_);
  drives_.erase(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  drivesChanged_ = true;
}

bool FakePlatform::DrivesChanged() {
  Guard g(mutex_);
  calls_.push_back(FakeCall{"DrivesChanged", ""});
  return std::exchange(drivesChanged_, false);
}

void FakePlatform::SetSerialNumber(char letter, uint32_t serialNumber) {
  Guard g(mutex_);
  drives_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))].serialNumber =
      serialNumber;
}

void FakePlatform::AddFolder(const std::string& path) { Guard g(mutex_); MakeFolders(path); }

void FakePlatform::WriteFile(const std::string& path, const std::string& bytes,
                             uint32_t attributes) {
  Guard g(mutex_);
  Resolved r = Resolve(path);
  if (!r.ok || r.parentKey.empty()) return;
  MakeFolders(r.parentKey);
  auto node = Find(r.key);
  if (!node) node = Create(r, false);
  node->data = bytes;
  node->attributes = attributes;
  node->time = ++clock_;
}

void FakePlatform::SetLocalTime(const LocalTime& time) { Guard g(mutex_); localTime_ = time; }
void FakePlatform::SetDocumentsFolder(const std::string& path) {
  Guard g(mutex_);
  documents_ = path;
}
void FakePlatform::SetCurrentFolder(const std::string& path) {
  Guard g(mutex_);
  currentFolder_ = path;
}
void FakePlatform::SetUserName(const std::string& name) { Guard g(mutex_); userName_ = name; }
void FakePlatform::SetFreeBytes(char letter, uint64_t bytes) {
  Guard g(mutex_);
  if (Drive* d = DriveOf(std::string(1, letter) + ":")) d->freeBytes = static_cast<int64_t>(bytes);
}
void FakePlatform::SetStaysMounted(char letter, bool staysMounted) {
  Guard g(mutex_);
  if (Drive* d = DriveOf(std::string(1, letter) + ":")) d->staysMounted = staysMounted;
}
void FakePlatform::HoldVolume(char letter, int refusals) {
  Guard g(mutex_);
  if (Drive* d = DriveOf(std::string(1, letter) + ":")) d->lockRefusals = refusals;
}
void FakePlatform::SetDotEntries(bool on) { Guard g(mutex_); dotEntries_ = on; }

void FakePlatform::FailCall(const std::string& op, uint32_t error, int nth,
                            const std::string& path) {
  Guard g(mutex_);
  failures_.push_back(Failure{op, path.empty() ? "" : Key(path), error, std::max(nth, 1)});
}
void FakePlatform::FailAlways(const std::string& op, uint32_t error, const std::string& path) {
  Guard g(mutex_);
  failures_.push_back(Failure{op, path.empty() ? "" : Key(path), error, 0});
}
void FakePlatform::ClearFailures() { Guard g(mutex_); failures_.clear(); }

bool FakePlatform::Exists(const std::string& path) const {
  Guard g(mutex_);
  Resolved r = Resolve(path);
  return r.ok && Find(r.key) != nullptr;
}
bool FakePlatform::IsFolder(const std::string& path) const {
  Guard g(mutex_);
  auto node = Find(Key(path));
  return node && node->dir;
}
std::string FakePlatform::ReadFile(const std::string& path) const {
  Guard g(mutex_);
  auto node = Find(Key(path));
  return node ? node->data : std::string();
}
uint32_t FakePlatform::Attributes(const std::string& path) const {
  Guard g(mutex_);
  auto node = Find(Key(path));
  return node ? EntryOf(*node).attributes : kInvalidAttributes;
}
std::vector<std::string> FakePlatform::List(const std::string& folder) const {
  Guard g(mutex_);
  std::vector<std::string> names;
  for (const Node* child : Children(Key(folder))) names.push_back(child->name);
  return names;
}
std::map<std::string, std::string> FakePlatform::Files(const std::string& folder) const {
  std::map<std::string, std::string> files;
  for (const std::string& name : List(folder)) {
    const std::string path = folder + "\\" + name;
    if (IsFolder(path)) files.merge(Files(path));
    else files[path] = ReadFile(path);
  }
  return files;
}
std::vector<FakeCall> FakePlatform::Calls() const { Guard g(mutex_); return calls_; }
size_t FakePlatform::CallCount(const std::string& op, const std::string& path) const {
  Guard g(mutex_);
  const std::string key = path.empty() ? "" : Key(path);
  return std::count_if(calls_.begin(), calls_.end(), [&](const FakeCall& c) {
    return c.op == op && (key.empty() || Key(c.path) == key);
  });
}
void FakePlatform::ClearCalls() { Guard g(mutex_); calls_.clear(); }
uint64_t FakePlatform::SleptMs() const { Guard g(mutex_); return sleptMs_; }
size_t FakePlatform::SleepCount() const { Guard g(mutex_); return sleepCount_; }
int FakePlatform::DismountCount(char letter) const {
  Guard g(mutex_);
  auto it = drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == drives_.end() ? 0 : it->second.dismounts;
}

// --- Drives and volumes ---

std::vector<std::string> FakePlatform::LogicalDriveStrings() {
  Guard g(mutex_);
  calls_.push_back(FakeCall{"LogicalDriveStrings", ""});
  std::vector<std::string> roots;
  for (const auto& [letter, drive] : drives_) roots.push_back(std::string(1, letter) + ":\\");
  return roots;
}

DriveType FakePlatform::GetDriveType(const std::string& rootPath) {
  Guard g(mutex_);
  if (Fails("GetDriveType", rootPath)) return DriveType::Unknown;
  Drive* d = DriveOf(rootPath);
  const bool isRoot = rootPath.size() == 2 || (rootPath.size() == 3 && rootPath[2] == '\\');
  return d && isRoot ? d->type : DriveType::NoRootDir;
}

bool FakePlatform::GetVolumeInformation(const std::string& rootPath, std::string* volumeName,
                                        std::string* fileSystemName, uint32_t* serialNumber) {
  Guard g(mutex_);
  if (Fails("GetVolumeInformation", rootPath)) return false;
  Drive* d = DriveOf(rootPath);
  if (!d) return SetLastError(kErrPathNotFound), false;
  if (volumeName) *volumeName = d->volumeName;
  if (fileSystemName) *fileSystemName = d->fileSystem;
  if (serialNumber) *serialNumber = d->serialNumber;
  return true;
}

bool FakePlatform::GetDiskSpace(const std::string& rootPath, uint64_t* totalBytes,
                                uint64_t* freeBytes) {
  Guard g(mutex_);
  if (Fails("GetDiskSpace", rootPath)) return false;
  Drive* d = DriveOf(rootPath);
  if (!d) return SetLastError(kErrPathNotFound), false;
  uint64_t used = 0;
  const std::string prefix = Key(rootPath.substr(0, 2));
  for (const auto& [key, node] : nodes_)
    if (key.compare(0, 2, prefix) == 0) used += node->data.size();
  if (totalBytes) *totalBytes = d->totalBytes;
  if (freeBytes)
    *freeBytes = d->freeBytes >= 0 ? static_cast<uint64_t>(d->freeBytes)
                                   : d->totalBytes - std::min(used, d->totalBytes);
  return true;
}

std::string FakePlatform::DriveHostPath(const std::string& rootPath) {
  Guard g(mutex_);
  return DriveOf(rootPath) ? "/fake/" + Key(rootPath.substr(0, 2)).substr(0, 1) : "";
}

std::unique_ptr<Volume> FakePlatform::OpenVolume(const std::string& devicePath) {
  Guard g(mutex_);
  if (Fails("OpenVolume", devicePath)) return nullptr;
  // "\\.\E:"
  if (devicePath.size() != 6 || devicePath.rfind("\\\\.\\", 0) != 0 || !DriveOf(devicePath.substr(4)))
    return SetLastError(kErrFileNotFound), nullptr;
  auto volume = std::make_unique<FakeVolume>();
  volume->letter = static_cast<char>(std::toupper(static_cast<unsigned char>(devicePath[4])));
  return volume;
}

bool FakePlatform::LockVolume(Volume& volume) {
  Guard g(mutex_);
  auto& v = static_cast<FakeVolume&>(volume);
  if (Fails("LockVolume", std::string("\\\\.\\") + v.letter + ":")) return false;
  int& refusals = drives_[v.letter].lockRefusals;
  if (refusals == 0) return true;
  if (refusals > 0) --refusals;
  SetLastError(kErrAccessDenied);
  return false;
}

bool FakePlatform::DismountVolume(Volume& volume) {
  Guard g(mutex_);
  auto& v = static_cast<FakeVolume&>(volume);
  if (Fails("DismountVolume", std::string("\\\\.\\") + v.letter + ":")) return false;
  Drive& d = drives_[v.letter];
  ++d.dismounts;
  if (!d.staysMounted) v.mounted = false;
  return true;
}

bool FakePlatform::IsVolumeMounted(Volume& volume) {
  Guard g(mutex_);
  auto& v = static_cast<FakeVolume&>(volume);
  if (Fails("IsVolumeMounted", std::string("\\\\.\\") + v.letter + ":")) return false;
  return v.mounted;
}

bool FakePlatform::CloseVolume(std::unique_ptr<Volume> volume) {
  Guard g(mutex_);
  auto* v = static_cast<FakeVolume*>(volume.get());
  return !Fails("CloseVolume", v ? std::string("\\\\.\\") + v->letter + ":" : "");
}

// --- Files and folders ---

std::unique_ptr<File> FakePlatform::OpenFile(const std::string& path, OpenMode mode) {
  Guard g(mutex_);
  if (Fails("OpenFile", path)) return nullptr;
  Resolved r = Resolve(path);
  auto node = r.ok ? Find(r.key) : nullptr;
  const bool writes = mode != OpenMode::Read;
  if (node) {
    if (mode == OpenMode::CreateNew) return SetLastError(kErrFileExists), nullptr;
    if (node->dir || (writes && (node->attributes & kAttrReadOnly)))
      return SetLastError(kErrAccessDenied), nullptr;
    // Windows will not replace a hidden or system file through a create-always open made with
    // normal attributes, the way every backend opens.
    if (mode == OpenMode::CreateAlways && (node->attributes & (kAttrHidden | kAttrSystem)))
      return SetLastError(kErrAccessDenied), nullptr;
    if (mode == OpenMode::CreateAlways) node->data.clear(), node->time = ++clock_;
  } else {
    if (mode == OpenMode::Read || mode == OpenMode::ReadWrite) return Missing(r), nullptr;
    if (r.ok && !FileFitsMaxPath(r.key)) return SetLastError(kErrFilenameExcedRange), nullptr;
    auto parent = r.ok ? Find(r.parentKey) : nullptr;
    if (!parent || !parent->dir) return Missing(r), nullptr;
    node = Create(r, false);
  }
  return std::make_unique<FakeFile>(this, node, path, writes, mode == OpenMode::Append);
}

bool FakePlatform::FindFiles(const std::string& pattern, std::vector<FindEntry>* matches) {
  Guard g(mutex_);
  matches->clear();
  if (Fails("FindFiles", pattern)) return false;
  const size_t cut = pattern.find_last_of('\\');
  const std::string last = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
  if (!HasWildcard(last)) {
    Resolved r;
    auto node = Lookup(pattern, &r);
    if (!node) return false;
    matches->push_back(EntryOf(*node));
    return true;
  }
  Resolved folder = Resolve(cut == std::string::npos ? currentFolder_ : pattern.substr(0, cut));
  auto dir = folder.ok ? Find(folder.key) : nullptr;
  if (!dir || !dir->dir) return SetLastError(kErrPathNotFound), false;
  if (dotEntries_ && !folder.parentKey.empty()) {
    for (const char* dot : {".", ".."}) {
      if (!WildcardMatch(last, dot)) continue;
      FindEntry e = EntryOf(*dir);
      e.name = dot;
      matches->push_back(e);
    }
  }
  for (const Node* child : Children(folder.key))
    if (WildcardMatch(last, child->name)) matches->push_back(EntryOf(*child));
  if (matches->empty()) return SetLastError(kErrFileNotFound), false;
  return true;
}

bool FakePlatform::CopyFile(const std::string& source, const std::string& destination,
                            bool failIfExists, CopyWatcher* watcher) {
  Guard g(mutex_);
  if (Fails("CopyFile", source)) return false;
  Resolved from, to = Resolve(destination);
  auto src = Lookup(source, &from);
  if (!src) return false;
  if (src->dir) return SetLastError(kErrAccessDenied), false;
  if (to.ok && !FileFitsMaxPath(to.key)) return SetLastError(kErrFilenameExcedRange), false;
  auto parent = to.ok ? Find(to.parentKey) : nullptr;
  if (!parent || !parent->dir) return SetLastError(kErrPathNotFound), false;
  auto dst = Find(to.key);
  if (dst && failIfExists) return SetLastError(kErrFileExists), false;
  // Nor copy over a read-only, hidden or system file.
  if (dst && (dst->dir || (dst->attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem))))
    return SetLastError(kErrAccessDenied), false;
  if (!dst) dst = Create(to, false);
  if (watcher) watcher->Copied(src->data.data(), src->data.size());
  dst->data = src->data;
  dst->attributes = src->attributes;
  dst->time = src->time;
  return true;
}

bool FakePlatform::DeleteFile(const std::string& path) {
  Guard g(mutex_);
  if (Fails("DeleteFile", path)) return false;
  Resolved r;
  auto node = Lookup(path, &r);
  if (!node) return false;
  if (node->dir || (node->attributes & kAttrReadOnly)) return SetLastError(kErrAccessDenied), false;
  nodes_.erase(r.key);
  return true;
}

bool FakePlatform::MoveFile(const std::string& source, const std::string& destination) {
  Guard g(mutex_);
  if (Fails("MoveFile", source)) return false;
  Resolved from, to = Resolve(destination);
  auto node = Lookup(source, &from);
  if (!node) return false;
  if (to.ok && Find(to.key)) return SetLastError(kErrAlreadyExists), false;
  if (to.ok && !FileFitsMaxPath(to.key)) return SetLastError(kErrFilenameExcedRange), false;
  auto parent = to.ok ? Find(to.parentKey) : nullptr;
  if (!parent || !parent->dir) return SetLastError(kErrPathNotFound), false;
  std::vector<std::pair<std::string, std::shared_ptr<Node>>> moved;
  std::erase_if(nodes_, [&](const auto& entry) {
    if (entry.first != from.key && !entry.first.starts_with(from.key + "\\")) return false;
    moved.emplace_back(to.key + entry.first.substr(from.key.size()), entry.second);
    return true;
  });
  node->name = to.name;
  for (auto& [key, moving] : moved) nodes_[key] = moving;
  return true;
}

bool FakePlatform::RemoveDirectory(const std::string& path) {
  Guard g(mutex_);
  if (Fails("RemoveDirectory", path)) return false;
  Resolved r;
  auto node = Lookup(path, &r);
  if (!node) return false;
  if (!node->dir) return SetLastError(kErrDirectoryName), false;
  if (!Children(r.key).empty()) return SetLastError(kErrDirNotEmpty), false;
  nodes_.erase(r.key);
  return true;
}

bool FakePlatform::CreateDirectory(const std::string& path) {
  Guard g(mutex_);
  if (Fails("CreateDirectory", path)) return false;
  Resolved r = Resolve(path);
  if (r.ok && Find(r.key)) return SetLastError(kErrAlreadyExists), false;
  if (r.ok && !FolderFitsMaxPath(r.key)) return SetLastError(kErrFilenameExcedRange), false;
  auto parent = r.ok ? Find(r.parentKey) : nullptr;
  if (!parent || !parent->dir) return SetLastError(kErrPathNotFound), false;
  Create(r, true);
  return true;
}

uint32_t FakePlatform::GetFileAttributes(const std::string& path) {
  Guard g(mutex_);
  if (Fails("GetFileAttributes", path)) return kInvalidAttributes;
  Resolved r;
  auto node = Lookup(path, &r);
  if (!node) return kInvalidAttributes;
  return EntryOf(*node).attributes;
}

bool FakePlatform::SetFileAttributes(const std::string& path, uint32_t attributes) {
  Guard g(mutex_);
  if (Fails("SetFileAttributes", path)) return false;
  Resolved r;
  auto node = Lookup(path, &r);
  if (!node) return false;
  node->attributes = attributes & ~(kAttrDirectory | kAttrNormal);
  return true;
}

bool FakePlatform::GetFileInfo(const std::string& path, FindEntry* info) {
  Guard g(mutex_);
  if (Fails("GetFileInfo", path)) return false;
  Resolved r;
  auto node = Lookup(path, &r);
  if (!node) return false;
  *info = EntryOf(*node);
  return true;
}

// Checks that the folder and every file exist, as a flush of each would; the call (recorded
// with the folder) is what a test orders against the card's changes.
bool FakePlatform::FlushFiles(const std::string& folder, const std::vector<std::string>& files) {
  Guard g(mutex_);
  if (Fails("FlushFiles", folder)) return false;
  Resolved r;
  if (!Lookup(folder, &r)) return false;
  for (const std::string& path : files)
    if (!Lookup(path, &r)) return false;
  return true;
}

std::string FakePlatform::ToHostPath(const std::string& path) {
  Guard g(mutex_);
  if (!path.empty() && path[0] == '/') return path;
  return Resolve(path).hostPath;
}

// --- Environment ---

std::string FakePlatform::GetCurrentDirectory() { Guard g(mutex_); return currentFolder_; }

std::string FakePlatform::GetTempPath() { return "C:\\TEMP\\"; }

bool FakePlatform::GetDocumentsFolder(std::string* path) {
  Guard g(mutex_);
  if (Fails("GetDocumentsFolder", "") || documents_.empty()) return false;
  MakeFolders(documents_);
  *path = documents_;
  return true;
}

std::string FakePlatform::GetUserName() { Guard g(mutex_); return userName_; }

LocalTime FakePlatform::GetLocalTime() { Guard g(mutex_); return localTime_; }

void FakePlatform::Sleep(uint32_t milliseconds) {
  Guard g(mutex_);
  calls_.push_back(FakeCall{"Sleep", std::to_string(milliseconds)});
  sleptMs_ += milliseconds;
  ++sleepCount_;
}

// Locks are in-process only: names compare case-insensitively, as file paths do.
std::unique_ptr<HeldLock> FakePlatform::AcquireLock(const std::string& name,
                                                    uint32_t waitMilliseconds) {
  {
    Guard g(mutex_);
    calls_.push_back(FakeCall{"AcquireLock", name});
  }
  const std::string key = Upper(name);
  std::unique_lock<std::mutex> lock(lockMutex_);
  if (waitMilliseconds != kWaitForever && heldLocks_.count(key) != 0) {
    cw::SetLastError(kErrSharingViolation);
    return nullptr;
  }
  lockFreed_.wait(lock, [&] { return heldLocks_.count(key) == 0; });
  heldLocks_.insert(key);
  cw::SetLastError(kErrSuccess);
  return std::make_unique<FakeLock>(this, key);
}

void FakePlatform::SetPrivateFolderProblem(const std::string& why) {
  Guard g(mutex_);
  privateFolderProblem_ = why;
}

bool FakePlatform::CheckPrivateFolder(std::string* why) {
  Guard g(mutex_);
  if (privateFolderProblem_.empty()) return true;
  if (why != nullptr) *why = privateFolderProblem_;
  cw::SetLastError(kErrAccessDenied);
  return false;
}

std::unique_ptr<HeldLock> FakePlatform::TryAcquireLock(const std::string& name) {
  {
    Guard g(mutex_);
    calls_.push_back(FakeCall{"TryAcquireLock", name});
  }
  const std::string key = Upper(name);
  std::lock_guard<std::mutex> lock(lockMutex_);
  if (!heldLocks_.insert(key).second) return nullptr;
  return std::make_unique<FakeLock>(this, key);
}

}  // namespace cw
