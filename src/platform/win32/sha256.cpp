// SHA-256 by the system's BCrypt. The algorithm provider is opened once per process; a hash
// object is made again after each digest (BCryptFinishHash leaves it unusable).
#include "platform/win32/windows_api.h"

#include <bcrypt.h>

#include <cstdlib>

#include "platform/sha256.h"

namespace cw {

namespace {

BCRYPT_ALG_HANDLE Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    // Without SHA-256 no digest can be made at all; nothing sensible could carry on.
    if (BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) std::abort();
    return handle;
  }();
  return provider;
}

BCRYPT_HASH_HANDLE NewHash() {
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0) < 0) std::abort();
  return hash;
}

}  // namespace

struct Sha256::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
};

Sha256::Sha256() : state_(std::make_unique<State>()) { state_->hash = NewHash(); }

Sha256::~Sha256() { BCryptDestroyHash(state_->hash); }

void Sha256::Add(const void* data, size_t size) {
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (size > 0) {  // BCryptHashData takes at most a ULONG at a time
    const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    BCryptHashData(state_->hash, bytes, piece, 0);
    bytes += piece;
    size -= piece;
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest;
  BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  BCryptDestroyHash(state_->hash);
  state_->hash = NewHash();
  return digest;
}

}  // namespace cw
