// The seats a player holds in running network campaigns, kept on disk so that a player whose
// connection or program died can rejoin its game and get its nation back.
//
// The host hands every player a secret seat token for its nation as the campaign starts. Seats
// are keyed by (game session id, player name): a computer player started again under the same
// name finds its own seat, and several players on one machine may hold seats in the same game.
// One small file per seat (format in docs/seats.md); files read back are never trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr size_t kSeatPlayerMax = 10;  // bytes of a player name
inline constexpr size_t kSeatFileMax = 4096;  // a larger file is not a seat
inline constexpr int kSeatKeepDays = 90;      // seats not saved for longer are removed
inline constexpr int8_t kSeatNations = 8;     // nations 0..7
inline constexpr int32_t kSeatFirstYear = 1870;
inline constexpr int32_t kSeatLastYear = 2100;

struct Seat {
    uint64_t session = 0;  // the game's session id, non-zero
    std::string player;    // 1..10 bytes of Windows-1252, no control characters
    uint64_t token = 0;    // the secret the host gave, non-zero
    int8_t nation = -1;    // 0..7
    int32_t year = 0;      // the campaign year when last saved (1870..2100), for display

    friend bool operator==(const Seat&, const Seat&) = default;
};

// ${XDG_STATE_HOME:-$HOME/.local/state}/Quillmere/Torvane. XDG_STATE_HOME counts only when it is
// an absolute path, HOME likewise; with neither the answer is empty: there is no store.
std::string DefaultSeatFolder();

// True when `player` may name a seat; otherwise false with the reason in `error` (if given).
bool IsSeatPlayer(std::string_view player, std::string* error = nullptr);
// True when every field of `seat` is in range; otherwise false with the reason.
bool IsValidSeat(const Seat& seat, std::string* error = nullptr);

// "seat-<16 hex digits of the session>-<hex of the name's bytes>", all lower case.
std::string SeatFileName(uint64_t session, std::string_view player);

// The content of a seat file, and its strict reading: anything but exactly what SeatText
// writes for a valid seat is refused with the reason.
std::string SeatText(const Seat& seat);
std::optional<Seat> ParseSeatText(std::string_view text, std::string* error = nullptr);

class SeatStore {
  public:
    // An empty folder is a store that holds nothing and saves nothing.
    explicit SeatStore(std::string folder = DefaultSeatFolder());

    // Writes the seat, replacing the one of the same session and player. The folder is created
    // (0700) as needed; the file, 0600 since the token is a secret, is replaced atomically.
    // Also removes the seat files of that folder not saved for 90 days. False with `error` set
    // when the seat is invalid or cannot be written; an older file of that seat then stays.
    bool Save(const Seat& seat, std::string& error);

    // The seat of `player` in game `session`; nullopt with `error` empty when there is none.
    // A file that is not a valid seat of that session and player gives nullopt with the reason
    // in `error`, and stays where it is.
    std::optional<Seat> Load(uint64_t session, std::string_view player,
                             std::string* error = nullptr) const;

    // Removes that seat; true when nothing remains of it.
    bool Forget(uint64_t session, std::string_view player, std::string* error = nullptr);

    const std::string& folder() const { return folder_; }
    // Where that seat's file is (or would be); empty when there is no store.
    std::string PathOf(uint64_t session, std::string_view player) const;

  private:
    void RemoveStaleFiles() const;

    std::string folder_;
};

}  // namespace platform
