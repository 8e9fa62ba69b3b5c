// SHA-256 by nettle.
#include <nettle/sha2.h>

#include "platform/sha256.h"

namespace cw {

struct Sha256::State {
  sha256_ctx context;
};

Sha256::Sha256() : state_(std::make_unique<State>()) { sha256_init(&state_->context); }

Sha256::~Sha256() = default;

void Sha256::Add(const void* data, size_t size) {
  sha256_update(&state_->context, size, static_cast<const uint8_t*>(data));
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest;
  sha256_digest(&state_->context, digest.size(), digest.data());  // also starts afresh
  return digest;
}

}  // namespace cw
