// SHA-256 as published in FIPS 180-4, for the seat locks.
#include "campaign/Seatlock.h"

#include <cstring>
#include <vector>

namespace torvane {
namespace {

constexpr std::array<uint32_t, 64> kRounds = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t Rotate(uint32_t value, int count) {
    return (value >> count) | (value << (32 - count));
}

void Compress(std::array<uint32_t, 8>& hash, const uint8_t* block) {
    std::array<uint32_t, 64> w{};
    for (size_t i = 0; i < 16; ++i) {
        w[i] = static_cast<uint32_t>(block[4 * i]) << 24 |
               static_cast<uint32_t>(block[4 * i + 1]) << 16 |
               static_cast<uint32_t>(block[4 * i + 2]) << 8 |
               static_cast<uint32_t>(block[4 * i + 3]);
    }
    for (size_t i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = hash[0], b = hash[1], c = hash[2], d = hash[3];
    uint32_t e = hash[4], f = hash[5], g = hash[6], h = hash[7];
    for (size_t i = 0; i < 64; ++i) {
        const uint32_t s1 = Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25);
        const uint32_t choose = (e & f) ^ (~e & g);
        const uint32_t t1 = h + s1 + choose + kRounds[i] + w[i];
        const uint32_t s0 = Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22);
        const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    hash[0] += a;
    hash[1] += b;
    hash[2] += c;
    hash[3] += d;
    hash[4] += e;
    hash[5] += f;
    hash[6] += g;
    hash[7] += h;
}

}  // namespace

std::array<uint8_t, 32> Sha256(std::span<const uint8_t> bytes) {
    std::array<uint32_t, 8> hash = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    size_t whole = bytes.size() / 64;
    for (size_t i = 0; i < whole; ++i)
        Compress(hash, bytes.data() + 64 * i);
    // The tail, the one bit, the zeros and the length in bits fill one or two last blocks.
    std::array<uint8_t, 128> tail{};
    const size_t rest = bytes.size() - 64 * whole;
    if (rest > 0)
        std::memcpy(tail.data(), bytes.data() + 64 * whole, rest);
    tail[rest] = 0x80;
    const size_t blocks = rest + 9 > 64 ? 2 : 1;
    const uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
    for (size_t i = 0; i < 8; ++i)
        tail[64 * blocks - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    for (size_t i = 0; i < blocks; ++i)
        Compress(hash, tail.data() + 64 * i);
    std::array<uint8_t, 32> out{};
    for (size_t i = 0; i < 8; ++i) {
        for (size_t j = 0; j < 4; ++j)
            out[4 * i + j] = static_cast<uint8_t>(hash[i] >> (24 - 8 * j));
    }
    return out;
}

uint64_t SeatLock(uint64_t session, int nation, uint64_t token) {
    static constexpr char kLabel[] = "torvane seat lock";
    std::vector<uint8_t> input(kLabel, kLabel + sizeof kLabel - 1);
    for (int i = 0; i < 8; ++i)
        input.push_back(static_cast<uint8_t>(session >> (8 * i)));
    input.push_back(static_cast<uint8_t>(nation));
    for (int i = 0; i < 8; ++i)
        input.push_back(static_cast<uint8_t>(token >> (8 * i)));
    const std::array<uint8_t, 32> digest = Sha256(input);
    uint64_t lock = 0;
    for (int i = 0; i < 8; ++i)
        lock |= static_cast<uint64_t>(digest[static_cast<size_t>(i)]) << (8 * i);
    return lock;
}

}  // namespace torvane
