#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace cw {
namespace {

// The standard test vectors, each hashed whole and again in uneven pieces (so a piece that
// crosses a 64-byte block is handled as one stream).
TEST(Sha256Test, StandardVectors) {
  struct Case {
    std::string input;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sha256Hex(c.input), c.digest) << c.input.size() << " bytes";
    Sha256 hash;
    for (size_t at = 0, piece = 1; at < c.input.size(); at += piece, piece = piece * 3 + 1)
      hash.Add(c.input.data() + at, std::min(piece, c.input.size() - at));
    EXPECT_EQ(HexOf(hash.Finish()), c.digest) << c.input.size() << " bytes in pieces";
    // A finished hash starts afresh.
    hash.Add("abc", 3);
    EXPECT_EQ(HexOf(hash.Finish()), cases[1].digest);
  }
}

}  // namespace
}  // namespace cw
