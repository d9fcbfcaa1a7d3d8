// The seat locks: SHA-256 against the published test vectors, and a lock that depends on all
// it is made of.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "campaign/Seatlock.h"

namespace torvane {
namespace {

std::string Hex(const std::array<uint8_t, 32>& digest) {
    static const char* kDigits = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 15]);
    }
    return text;
}

std::array<uint8_t, 32> Sha256Of(const std::string& text) {
    return Sha256(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TEST(SeatLock, Sha256GivesThePublishedDigests) {
    EXPECT_EQ(Hex(Sha256Of("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex(Sha256Of("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the last block, which takes a second one.
    EXPECT_EQ(Hex(Sha256Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million 'a': many whole blocks.
    EXPECT_EQ(Hex(Sha256Of(std::string(1000000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(SeatLock, EachSessionNationAndTokenHasItsOwnLock) {
    std::set<uint64_t> locks;
    for (uint64_t session : {1ull, 2ull, 0xFFFFFFFFFFFFFFFFull}) {
        for (int nation = 0; nation < 8; ++nation) {
            for (uint64_t token : {1ull, 2ull, 1ull << 63})
                locks.insert(SeatLock(session, nation, token));
        }
    }
    EXPECT_EQ(locks.size(), 3u * 8u * 3u);
    EXPECT_EQ(SeatLock(77, 3, 99), SeatLock(77, 3, 99));
}

}  // namespace
}  // namespace torvane
