#include "faults/fault_platform.h"

#include "platform/text.h"

namespace cw::test {
namespace {

using Guard = std::lock_guard<std::mutex>;

bool Fail(uint32_t error) {
  SetLastError(error);
  return false;
}

// A volume handle of the wrapped platform, remembering whether it is the card's.
struct FaultVolume : Volume {
  std::unique_ptr<Volume> inner;
  bool onCard = false;
};

}  // namespace

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kOpen: return "open";
    case Fault::kCreate: return "create";
    case Fault::kWrite: return "write";
    case Fault::kCopy: return "copy";
    case Fault::kDelete: return "delete";
    case Fault::kSetAttributes: return "set attributes";
    case Fault::kCreateFolder: return "create folder";
    case Fault::kFlush: return "flush";
    case Fault::kFileFlush: return "file flush";
    case Fault::kMove: return "move";
    case Fault::kRemoveFolder: return "remove folder";
    case Fault::kNoRoom: return "no room";
  }
  return "?";
}

uint32_t PlausibleError(Fault fault) {
  switch (fault) {
    case Fault::kOpen: return kErrSharingViolation;
    case Fault::kCreate: return kErrAccessDenied;
    case Fault::kWrite: return kErrDiskFull;
    case Fault::kCopy: return kErrDiskFull;
    case Fault::kDelete: return kErrAccessDenied;
    case Fault::kSetAttributes: return kErrAccessDenied;
    case Fault::kCreateFolder: return kErrAccessDenied;
    case Fault::kFlush: return kErrIoDevice;
    case Fault::kFileFlush: return kErrIoDevice;
    case Fault::kMove: return kErrAccessDenied;
    case Fault::kRemoveFolder: return kErrSharingViolation;
    case Fault::kNoRoom: return kErrSuccess;
  }
  return kErrGenFailure;
}

// An open file of the wrapped platform. Writes can be injected to fail; every call fails once
// the card it lives on is pulled.
class FaultFile : public File {
 public:
  FaultFile(FaultPlatform* platform, std::unique_ptr<File> inner, std::string path, bool onCard)
      : platform_(platform), inner_(std::move(inner)), path_(std::move(path)), onCard_(onCard) {}
  bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override {
    *bytesRead = 0;
    return !Gone() && inner_->Read(buffer, size, bytesRead);
  }
  bool Write(const void* buffer, uint32_t size) override {
    if (Gone()) return false;
    if (platform_->Injected(Fault::kWrite, "Write", path_)) {
      const uint32_t error = GetLastError();
      inner_->Write(buffer, size / 2);
      return Fail(error);
    }
    return inner_->Write(buffer, size);
  }
  bool Seek(int64_t offset, SeekFrom from) override {
    return !Gone() && inner_->Seek(offset, from);
  }
  int64_t Tell() override { return Gone() ? -1 : inner_->Tell(); }
  bool GetSize(uint64_t* size) override { return !Gone() && inner_->GetSize(size); }
  bool Flush() override {
    return !Gone() && !platform_->Injected(Fault::kFileFlush, "Flush", path_) && inner_->Flush();
  }
  bool Close() override {
    if (Gone()) {
      inner_->Close();
      return Fail(kErrIoDevice);
    }
    return inner_->Close();
  }

 private:
  bool Gone() { return platform_->CardGone(path_, onCard_, kErrIoDevice); }

  FaultPlatform* platform_;
  std::unique_ptr<File> inner_;
  std::string path_;
  bool onCard_;
};

FaultPlatform::FaultPlatform(Platform& inner, char cardLetter)
    : ForwardingPlatform(inner), card_(ToUpperAscii(cardLetter)) {}

FaultPlatform::~FaultPlatform() = default;

void FaultPlatform::FailNth(Fault fault, int k, uint32_t error) {
  Guard g(mutex_);
  planned_ = k > 0;
  fault_ = fault;
  failAt_ = counts_[static_cast<int>(fault)] + k;
  error_ = error ? error : PlausibleError(fault);
}

void FaultPlatform::PullCardAt(int k) {
  Guard g(mutex_);
  pullAt_ = k > 0 ? cardOps_ + k : 0;
}

void FaultPlatform::Exempt(const std::string& path) {
  Guard g(mutex_);
  exempt_.insert(ToUpperAscii(path));
}

int FaultPlatform::Count(Fault fault) const {
  Guard g(mutex_);
  return counts_[static_cast<int>(fault)];
}

int FaultPlatform::CardOperations() const {
  Guard g(mutex_);
  return cardOps_;
}

bool FaultPlatform::Fired() const {
  Guard g(mutex_);
  return !firedAt_.empty();
}

std::string FaultPlatform::FiredAt() const {
  Guard g(mutex_);
  return firedAt_;
}

bool FaultPlatform::CardPulled() const {
  Guard g(mutex_);
  return pulled_;
}

bool FaultPlatform::OnCard(const std::string& path) const {
  const std::string upper = ToUpperAscii(path);
  const std::string drive = std::string(1, card_) + ":";
  return upper.rfind(drive, 0) == 0 || upper.rfind("\\\\.\\" + drive, 0) == 0;
}

bool FaultPlatform::IsExempt(const std::string& path) const {
  return exempt_.count(ToUpperAscii(path)) != 0;
}

bool FaultPlatform::CardGone(const std::string& path, bool onCard, uint32_t goneError) {
  Guard g(mutex_);
  if (!onCard || IsExempt(path)) return false;
  ++cardOps_;
  if (!pulled_ && pullAt_ > 0 && cardOps_ >= pullAt_) {
    pulled_ = true;
    firedAt_ = "card pulled at " + path;
  }
  if (pulled_) SetLastError(goneError);
  return pulled_;
}

bool FaultPlatform::Injected(Fault fault, const std::string& op, const std::string& path) {
  Guard g(mutex_);
  if (IsExempt(path)) return false;
  const int count = ++counts_[static_cast<int>(fault)];
  if (!planned_ || fault != fault_ || count != failAt_) return false;
  firedAt_ = op + " " + path;
  SetLastError(error_);
  return true;
}

std::vector<std::string> FaultPlatform::LogicalDriveStrings() {
  std::vector<std::string> drives = inner_.LogicalDriveStrings();
  if (CardPulled()) std::erase_if(drives, [this](const std::string& d) { return OnCard(d); });
  return drives;
}

DriveType FaultPlatform::GetDriveType(const std::string& rootPath) {
  if (CardGone(rootPath, OnCard(rootPath), kErrNotReady)) return DriveType::NoRootDir;
  return inner_.GetDriveType(rootPath);
}

bool FaultPlatform::GetVolumeInformation(const std::string& rootPath, std::string* volumeName,
                                         std::string* fileSystemName, uint32_t* serialNumber) {
  return !CardGone(rootPath, OnCard(rootPath), kErrNotReady) &&
         inner_.GetVolumeInformation(rootPath, volumeName, fileSystemName, serialNumber);
}

bool FaultPlatform::GetDiskSpace(const std::string& rootPath, uint64_t* totalBytes,
                                 uint64_t* freeBytes) {
  const bool onCard = OnCard(rootPath);
  if (CardGone(rootPath, onCard, kErrNotReady)) return false;
  if (!inner_.GetDiskSpace(rootPath, totalBytes, freeBytes)) return false;
  // A full disk answers the question; it is the answer that is bad.
  if (!onCard && Injected(Fault::kNoRoom, "GetDiskSpace", rootPath) && freeBytes != nullptr)
    *freeBytes = 0;
  SetLastError(kErrSuccess);
  return true;
}

std::unique_ptr<Volume> FaultPlatform::OpenVolume(const std::string& devicePath) {
  const bool onCard = OnCard(devicePath);
  if (CardGone(devicePath, onCard, kErrNotReady)) return nullptr;
  std::unique_ptr<Volume> inner = inner_.OpenVolume(devicePath);
  if (!inner) return nullptr;
  auto volume = std::make_unique<FaultVolume>();
  volume->inner = std::move(inner);
  volume->onCard = onCard;
  return volume;
}

bool FaultPlatform::LockVolume(Volume& volume) {
  auto& v = static_cast<FaultVolume&>(volume);
  return !CardGone("\\\\.\\card", v.onCard, kErrNotReady) && inner_.LockVolume(*v.inner);
}

bool FaultPlatform::DismountVolume(Volume& volume) {
  auto& v = static_cast<FaultVolume&>(volume);
  return !CardGone("\\\\.\\card", v.onCard, kErrNotReady) && inner_.DismountVolume(*v.inner);
}

bool FaultPlatform::IsVolumeMounted(Volume& volume) {
  auto& v = static_cast<FaultVolume&>(volume);
  return !CardGone("\\\\.\\card", v.onCard, kErrNotReady) && inner_.IsVolumeMounted(*v.inner);
}

bool FaultPlatform::CloseVolume(std::unique_ptr<Volume> volume) {
  if (!volume) return inner_.CloseVolume(nullptr);
  auto* v = static_cast<FaultVolume*>(volume.get());
  return inner_.CloseVolume(std::move(v->inner));  // closing a handle works, card or not
}

std::unique_ptr<File> FaultPlatform::OpenFile(const std::string& path, OpenMode mode) {
  const bool onCard = OnCard(path);
  if (CardGone(path, onCard, kErrPathNotFound)) return nullptr;
  const bool creates = mode != OpenMode::Read && mode != OpenMode::ReadWrite;
  if (Injected(creates ? Fault::kCreate : Fault::kOpen, "OpenFile", path)) return nullptr;
  std::unique_ptr<File> inner = inner_.OpenFile(path, mode);
  if (!inner) return nullptr;
  return std::make_unique<FaultFile>(this, std::move(inner), path, onCard);
}

bool FaultPlatform::FindFiles(const std::string& pattern, std::vector<FindEntry>* matches) {
  if (CardGone(pattern, OnCard(pattern), kErrPathNotFound)) {
    matches->clear();
    return false;
  }
  return inner_.FindFiles(pattern, matches);
}

bool FaultPlatform::CopyFile(const std::string& source, const std::string& destination,
                             bool failIfExists, CopyWatcher* watcher) {
  const bool onCard = OnCard(source) || OnCard(destination);
  if (CardGone(OnCard(source) ? source : destination, onCard, kErrPathNotFound)) return false;
  if (Injected(Fault::kCopy, "CopyFile", destination)) return false;
  return inner_.CopyFile(source, destination, failIfExists, watcher);
}

bool FaultPlatform::MoveFile(const std::string& source, const std::string& destination) {
  if (CardGone(source, OnCard(source), kErrPathNotFound)) return false;
  if (Injected(Fault::kMove, "MoveFile", source)) return false;
  return inner_.MoveFile(source, destination);
}

bool FaultPlatform::RemoveDirectory(const std::string& path) {
  if (CardGone(path, OnCard(path), kErrPathNotFound)) return false;
  if (Injected(Fault::kRemoveFolder, "RemoveDirectory", path)) return false;
  return inner_.RemoveDirectory(path);
}

bool FaultPlatform::DeleteFile(const std::string& path) {
  if (CardGone(path, OnCard(path), kErrPathNotFound)) return false;
  if (Injected(Fault::kDelete, "DeleteFile", path)) return false;
  return inner_.DeleteFile(path);
}

bool FaultPlatform::CreateDirectory(const std::string& path) {
  if (CardGone(path, OnCard(path), kErrPathNotFound)) return false;
  if (Injected(Fault::kCreateFolder, "CreateDirectory", path)) return false;
  return inner_.CreateDirectory(path);
}

uint32_t FaultPlatform::GetFileAttributes(const std::string& path) {
  if (CardGone(path, OnCard(path), kErrPathNotFound)) return kInvalidAttributes;
  return inner_.GetFileAttributes(path);
}

bool FaultPlatform::SetFileAttributes(const std::string& path, uint32_t attributes) {
  if (CardGone(path, OnCard(path), kErrPathNotFound)) return false;
  if (Injected(Fault::kSetAttributes, "SetFileAttributes", path)) return false;
  return inner_.SetFileAttributes(path, attributes);
}

bool FaultPlatform::GetFileInfo(const std::string& path, FindEntry* info) {
  return !CardGone(path, OnCard(path), kErrPathNotFound) && inner_.GetFileInfo(path, info);
}

bool FaultPlatform::FlushFiles(const std::string& folder, const std::vector<std::string>& files) {
  if (CardGone(folder, OnCard(folder), kErrPathNotFound)) return false;
  if (Injected(Fault::kFlush, "FlushFiles", folder)) return false;
  return inner_.FlushFiles(folder, files);
}

}  // namespace cw::test
