// The saved games on disk: one file per game, named by its id, replaced whole at every save.
//
// The store keeps bytes and knows nothing of what they hold (src/campaign/Savedgame.h reads
// them, docs/savegame.md describes both). What it reads back is never trusted: a file that
// cannot be read, or is larger than the store's limit, is listed with the reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

// ${XDG_DATA_HOME:-$HOME/.local/share}/Quillmere/Torvane/parties. XDG_DATA_HOME counts only when
// it is an absolute path, HOME likewise; with neither the answer is empty: there is no store.
std::string DefaultSaveFolder();

// Saves kept in a folder: each save removes the oldest beyond them.
inline constexpr size_t kSavesKept = 20;

// "partie-<16 lower-case hex digits>.sav".
std::string SaveFileName(uint64_t gameId);

struct SaveEntry {
    uint64_t gameId = 0;
    std::string path;
    int64_t modified = 0;        // seconds since 1970 of the last write
    std::vector<uint8_t> bytes;  // the whole file, when it could be read within the size limit
    std::string error;           // why it could not be read (then bytes is empty)
};

class SaveStore {
  public:
    // An empty folder is a store that holds nothing and saves nothing. No file larger than
    // `maxBytes` is written or read.
    explicit SaveStore(std::string folder = DefaultSaveFolder(), size_t maxBytes = 64u << 20);

    // Writes the game's file atomically (a temporary file in the same folder, written, fsync'd,
    // renamed over the old one, folder fsync'd; 0600 files, 0700 folder created as needed), then
    // removes the oldest saves beyond kSavesKept and any leftover temporary files of earlier
    // killed writes. False with `error` when it cannot write; the older file then stays whole.
    // Several processes may save into one folder at once: only a save made while nobody else
    // saves clears the folder, and the next one does when this one cannot.
    bool Save(uint64_t gameId, std::span<const uint8_t> bytes, std::string& error);

    // Every file named like a save in the folder, newest first (ties by name); files that cannot
    // be read, or are larger than maxBytes, are listed with their error. Temporary files and
    // other names are not listed.
    std::vector<SaveEntry> List() const;

    // The game's file; nullopt with `error` empty when there is none, with the reason when it
    // cannot be read or is larger than maxBytes.
    std::optional<std::vector<uint8_t>> Load(uint64_t gameId, std::string* error = nullptr) const;

    // Removes the game's file; true when nothing remains of it.
    bool Remove(uint64_t gameId, std::string* error = nullptr);

    const std::string& folder() const { return folder_; }
    size_t maxBytes() const { return maxBytes_; }
    // Where that game's file is (or would be); empty when there is no store.
    std::string PathOf(uint64_t gameId) const;

  private:
    void Tidy(const std::string& kept) const;

    std::string folder_;
    size_t maxBytes_;
};

}  // namespace platform
