// A seat's lock: what every player of a campaign holds of each nation's seat token. A host (the
// first one or any that takes over) checks a player coming back against it without knowing the
// token itself, which only the seat's player was given.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace torvane {

// SHA-256 of `bytes`.
std::array<uint8_t, 32> Sha256(std::span<const uint8_t> bytes);

// The first eight bytes of SHA-256 over a fixed label, the session, the nation and the token
// (little-endian): a lock nobody can turn back into its token.
uint64_t SeatLock(uint64_t session, int nation, uint64_t token);

}  // namespace torvane
