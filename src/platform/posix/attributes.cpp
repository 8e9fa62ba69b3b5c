// File attributes. On a FAT mount they are the real ones, through the FAT ioctls. Elsewhere
// read-only is the owner's write bit (a folder keeps it with the others, so that marking a
// folder read-only does not stop files being made in it, as on Windows) and hidden, system
// and archive live in the user.DOSATTRIB extended attribute as text ("0x22"). A file system
// without extended attributes keeps read-only and silently loses the rest.
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/posix/posix_internal.h"

namespace cw::posix {

namespace {

constexpr const char* kDosAttribName = "user.DOSATTRIB";
constexpr uint32_t kFatBits = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

bool FatIoctl(const std::string& hostPath, bool isDirectory, unsigned long request,
              uint32_t* attributes, int* err) {
  const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | (isDirectory ? O_DIRECTORY : 0));
  if (fd < 0) {
    *err = errno;
    return false;
  }
  const bool ok = ::ioctl(fd, request, attributes) == 0;
  if (!ok) *err = errno;
  ::close(fd);
  return ok;
}

bool XattrUnsupported(int err) { return err == ENOTSUP || err == EOPNOTSUPP; }

}  // namespace

bool OnFat(const std::string& hostPath) {
  struct statfs info;
  return ::statfs(hostPath.c_str(), &info) == 0 && info.f_type == MSDOS_SUPER_MAGIC;
}

std::string FormatDosAttrib(uint32_t attributes) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", attributes);
  return text;
}

std::optional<uint32_t> ParseDosAttrib(const std::string& text) {
  if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
    return std::nullopt;
  }
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str() + 2, &end, 16);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return static_cast<uint32_t>(value);
}

FileTime WriteTimeOf(const struct stat& st) {
  return static_cast<FileTime>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

namespace {

uint32_t FatAttributes(bool isDirectory, uint32_t fat) {
  const uint32_t attributes = (isDirectory ? kAttrDirectory : 0) | (fat & kFatBits);
  return attributes == 0 ? kAttrNormal : attributes;
}

// Off a FAT mount: the owner's write bit and what the extended attribute (`size` bytes of
// `text`, none when negative) keeps.
uint32_t HostAttributes(const struct stat& st, char* text, ssize_t size) {
  const bool isDirectory = S_ISDIR(st.st_mode);
  uint32_t attributes = isDirectory ? kAttrDirectory : 0;
  if (!isDirectory && (st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  if (size > 0) {
    text[size] = '\0';
    const std::optional<uint32_t> stored = ParseDosAttrib(text);
    const uint32_t kept = isDirectory ? kFatBits : kFatBits & ~kAttrReadOnly;
    if (stored) attributes |= *stored & kept;
  }
  return attributes == 0 ? kAttrNormal : attributes;
}

}  // namespace

uint32_t PosixPlatform::AttributesOf(const std::string& hostPath, const struct stat& st,
                                     const FolderFs* folder) {
  const bool isDirectory = S_ISDIR(st.st_mode);
  // An entry with another device than its folder's is a mount point: asked for itself.
  const bool fat =
      folder != nullptr && folder->device == st.st_dev ? folder->fat : OnFat(hostPath);
  if (fat) {
    uint32_t bits = 0;
    int err = 0;
    if (FatIoctl(hostPath, isDirectory, FAT_IOCTL_GET_ATTRIBUTES, &bits, &err)) {
      return FatAttributes(isDirectory, bits);
    }
  }
  char text[32];
  const ssize_t size = ::getxattr(hostPath.c_str(), kDosAttribName, text, sizeof text - 1);
  return HostAttributes(st, text, size);
}

bool AttributesOfOpen(int fd, uint32_t* attributes) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return FailErrno(errno);
  struct statfs fs;
  uint32_t bits = 0;
  if (::fstatfs(fd, &fs) == 0 && fs.f_type == MSDOS_SUPER_MAGIC &&
      ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &bits) == 0) {
    *attributes = FatAttributes(S_ISDIR(st.st_mode), bits);
    return true;
  }
  char text[32];
  *attributes = HostAttributes(st, text, ::fgetxattr(fd, kDosAttribName, text, sizeof text - 1));
  return true;
}

bool PosixPlatform::SetHostAttributes(const std::string& hostPath, uint32_t attributes) {
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0) return FailErrno(errno, hostPath);
  const bool isDirectory = S_ISDIR(st.st_mode);
  int err = 0;
  if (OnFat(hostPath)) {
    uint32_t fat = (attributes & kFatBits) | (isDirectory ? kAttrDirectory : 0);
    if (!FatIoctl(hostPath, isDirectory, FAT_IOCTL_SET_ATTRIBUTES, &fat, &err)) {
      return FailErrno(err, hostPath);
    }
    SetLastError(kErrSuccess);
    return true;
  }
  // Writable first, read-only last: a user extended attribute needs write permission.
  const bool readOnly = !isDirectory && (attributes & kAttrReadOnly) != 0;
  const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
  if (!isDirectory && !readOnly && (st.st_mode & S_IWUSR) == 0 &&
      ::chmod(hostPath.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) {
    return FailErrno(errno, hostPath);
  }
  const uint32_t extra = attributes & (isDirectory ? kFatBits : kFatBits & ~kAttrReadOnly);
  if (extra != 0) {
    const std::string text = FormatDosAttrib(extra);
    if (::setxattr(hostPath.c_str(), kDosAttribName, text.data(), text.size(), 0) != 0 &&
        !XattrUnsupported(errno)) {
      return FailErrno(errno, hostPath);
    }
  } else if (::removexattr(hostPath.c_str(), kDosAttribName) != 0 && errno != ENODATA &&
             !XattrUnsupported(errno)) {
    return FailErrno(errno, hostPath);
  }
  if (readOnly && (st.st_mode & writeBits) != 0 &&
      ::chmod(hostPath.c_str(), (st.st_mode & 07777) & ~writeBits) != 0) {
    return FailErrno(errno, hostPath);
  }
  SetLastError(kErrSuccess);
  return true;
}

uint32_t PosixPlatform::GetFileAttributes(const std::string& path) {
  std::string host;
  if (!Resolve(path, &host)) return kInvalidAttributes;
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) {
    FailErrno(errno, host);
    return kInvalidAttributes;
  }
  SetLastError(kErrSuccess);
  return AttributesOf(host, st);
}

bool PosixPlatform::SetFileAttributes(const std::string& path, uint32_t attributes) {
  std::string host;
  if (!Resolve(path, &host)) return false;
  return SetHostAttributes(host, attributes);
}

}  // namespace cw::posix
