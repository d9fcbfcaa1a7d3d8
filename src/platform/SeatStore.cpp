// The seats a player holds in running network campaigns, one small file per seat.
//
// Writers hold a shared advisory lock on the folder's lock file from creating their temporary
// file until it is renamed into place, so any number of processes save at once. Clearing out old
// seats and the temporaries of killed writers takes the lock exclusively, and only when nobody
// is writing at that moment: it never races a save.
#include "platform/SeatStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace platform {
namespace {

constexpr std::string_view kMagic = "torvane-seat ";
constexpr std::string_view kVersion = "1";
constexpr std::string_view kFilePrefix = "seat-";
constexpr std::string_view kTempMark = ".tmp.";
constexpr const char* kLockName = "seats.lock";

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // False when the kernel reports a failed write at close.
    bool Close() {
        if (fd_ < 0)
            return true;
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }

  private:
    int fd_;
};

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

constexpr char kHexDigits[] = "0123456789abcdef";

std::string Hex64(uint64_t value) {
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        out[static_cast<size_t>(i)] = kHexDigits[value & 0xF];
    return out;
}

int LowerHexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsLowerHex(std::string_view s) {
    for (char c : s) {
        if (LowerHexDigit(c) < 0)
            return false;
    }
    return true;
}

bool IsDecimal(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Exactly 16 lower-case hex digits.
std::optional<uint64_t> ParseHex64(std::string_view s) {
    if (s.size() != 16 || !IsLowerHex(s))
        return std::nullopt;
    uint64_t value = 0;
    for (char c : s)
        value = value << 4 | static_cast<uint64_t>(LowerHexDigit(c));
    return value;
}

// 1 to 4 decimal digits, without leading zeros.
std::optional<int32_t> ParseDecimal(std::string_view s) {
    if (s.empty() || s.size() > 4 || !IsDecimal(s) || (s.size() > 1 && s[0] == '0'))
        return std::nullopt;
    int32_t value = 0;
    for (char c : s)
        value = value * 10 + (c - '0');
    return value;
}

// The bytes of an even-length lower-case hex string of at most 2 * kSeatPlayerMax digits.
std::optional<std::string> ParseHexBytes(std::string_view s) {
    if (s.empty() || s.size() % 2 != 0 || s.size() > 2 * kSeatPlayerMax || !IsLowerHex(s))
        return std::nullopt;
    std::string out;
    for (size_t i = 0; i < s.size(); i += 2)
        out += static_cast<char>(LowerHexDigit(s[i]) * 16 + LowerHexDigit(s[i + 1]));
    return out;
}

std::string HexBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += kHexDigits[c >> 4];
        out += kHexDigits[c & 0xF];
    }
    return out;
}

// A seat file name as SeatFileName writes it, for any valid player name.
bool IsSeatFileName(std::string_view name) {
    if (name.substr(0, kFilePrefix.size()) != kFilePrefix)
        return false;
    name.remove_prefix(kFilePrefix.size());
    if (name.size() < 18 || name[16] != '-' || !ParseHex64(name.substr(0, 16)))
        return false;
    const auto player = ParseHexBytes(name.substr(17));
    return player && IsSeatPlayer(*player);
}

// "<seat file name>.tmp.<pid>.<n>", the temporary a writer renames into place.
bool IsSeatTempName(std::string_view name) {
    const size_t mark = name.find(kTempMark);
    if (mark == std::string_view::npos || !IsSeatFileName(name.substr(0, mark)))
        return false;
    const std::string_view rest = name.substr(mark + kTempMark.size());
    const size_t dot = rest.find('.');
    return dot != std::string_view::npos && IsDecimal(rest.substr(0, dot)) &&
           IsDecimal(rest.substr(dot + 1));
}

// Creates `folder` and its missing parents, each 0700 whatever the umask.
bool MakeFolders(const std::string& folder, std::string& error) {
    std::string path;
    size_t start = 0;
    if (folder.front() == '/') {
        path = "/";
        start = 1;
    }
    while (start <= folder.size()) {
        size_t end = folder.find('/', start);
        if (end == std::string::npos)
            end = folder.size();
        const std::string part = folder.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (!path.empty() && path.back() != '/')
            path += '/';
        path += part;
        if (::mkdir(path.c_str(), 0700) == 0) {
            ::chmod(path.c_str(), 0700);
            continue;
        }
        if (errno != EEXIST) {
            error = SystemError("cannot create", path);
            return false;
        }
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            error = path + " is not a folder";
            return false;
        }
    }
    return true;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get());
}

// Writes `content` to `path` through a temporary file of the same folder.
bool ReplaceFile(const std::string& folder, const std::string& path, const std::string& content,
                 std::string& error) {
    static std::atomic<unsigned> counter{0};
    const std::string temp = path + std::string(kTempMark) + std::to_string(::getpid()) + "." +
                             std::to_string(counter.fetch_add(1));
    FileDescriptor fd(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) {
        error = SystemError("cannot create", temp);
        return false;
    }
    // The umask may have taken the owner's bits; nobody else ever gets any.
    bool written =
        ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), content) && ::fsync(fd.get()) == 0;
    written = fd.Close() && written;
    if (!written) {
        error = SystemError("cannot write", temp);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = SystemError("cannot replace", path);
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

bool Fail(std::string* error, std::string why) {
    if (error)
        *error = std::move(why);
    return false;
}

}  // namespace

std::string DefaultSeatFolder() {
    std::string base;
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (state && state[0] == '/') {
        base = state;
    } else if (home && home[0] == '/') {
        base = std::string(home) + "/.local/state";
    } else {
        return {};
    }
    return base + "/Quillmere/Torvane";
}

bool IsSeatPlayer(std::string_view player, std::string* error) {
    if (player.empty() || player.size() > kSeatPlayerMax)
        return Fail(error, "a player name holds 1 to 10 characters");
    for (unsigned char c : player) {
        if (c < 0x20 || c == 0x7F)
            return Fail(error, "a player name holds no control characters");
    }
    return true;
}

bool IsValidSeat(const Seat& seat, std::string* error) {
    if (seat.session == 0)
        return Fail(error, "the session id is zero");
    if (!IsSeatPlayer(seat.player, error))
        return false;
    if (seat.token == 0)
        return Fail(error, "the seat token is zero");
    if (seat.nation < 0 || seat.nation >= kSeatNations)
        return Fail(error, "the nation is not 0 to 7");
    if (seat.year < kSeatFirstYear || seat.year > kSeatLastYear)
        return Fail(error, "the year is not 1870 to 2100");
    return true;
}

std::string SeatFileName(uint64_t session, std::string_view player) {
    return std::string(kFilePrefix) + Hex64(session) + "-" + HexBytes(player);
}

std::string SeatText(const Seat& seat) {
    std::string text;
    text += std::string(kMagic) + std::string(kVersion) + "\n";
    text += "session " + Hex64(seat.session) + "\n";
    text += "player " + HexBytes(seat.player) + "\n";
    text += "token " + Hex64(seat.token) + "\n";
    text += "nation " + std::to_string(seat.nation) + "\n";
    text += "year " + std::to_string(seat.year) + "\n";
    return text;
}

std::optional<Seat> ParseSeatText(std::string_view text, std::string* error) {
    auto refuse = [error](std::string why) -> std::optional<Seat> {
        Fail(error, std::move(why));
        return std::nullopt;
    };
    if (text.size() > kSeatFileMax)
        return refuse("larger than " + std::to_string(kSeatFileMax) + " bytes");
    if (text.empty())
        return refuse("empty");
    if (text.back() != '\n')
        return refuse("cut short: the last line does not end");
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (lines[0].substr(0, kMagic.size()) != kMagic)
        return refuse("not a seat file");
    if (lines[0].substr(kMagic.size()) != kVersion)
        return refuse("unsupported seat file version");

    enum Key { kSession, kPlayer, kToken, kNation, kYear, kKeys };
    constexpr std::string_view kNames[kKeys] = {"session", "player", "token", "nation", "year"};
    bool seen[kKeys] = {};
    Seat seat;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string where = "line " + std::to_string(i + 1) + ": ";
        const std::string_view line = lines[i];
        const size_t space = line.find(' ');
        if (space == std::string_view::npos)
            return refuse(where + "not a key and a value");
        const std::string_view name = line.substr(0, space);
        const std::string_view value = line.substr(space + 1);
        int key = 0;
        while (key < kKeys && kNames[key] != name)
            ++key;
        if (key == kKeys)
            return refuse(where + "unknown key");
        if (seen[key])
            return refuse(where + "duplicate " + std::string(name));
        seen[key] = true;
        bool ok = false;
        switch (key) {
            case kSession:
            case kToken:
                if (auto number = ParseHex64(value)) {
                    (key == kSession ? seat.session : seat.token) = *number;
                    ok = true;
                }
                break;
            case kPlayer:
                if (auto bytes = ParseHexBytes(value)) {
                    seat.player = std::move(*bytes);
                    ok = true;
                }
                break;
            case kNation:
                if (auto number = ParseDecimal(value)) {
                    if (*number >= kSeatNations)
                        return refuse(where + "the nation is not 0 to 7");
                    seat.nation = static_cast<int8_t>(*number);
                    ok = true;
                }
                break;
            case kYear:
                if (auto number = ParseDecimal(value)) {
                    seat.year = *number;
                    ok = true;
                }
                break;
        }
        if (!ok)
            return refuse(where + "malformed " + std::string(name));
    }
    for (int key = 0; key < kKeys; ++key) {
        if (!seen[key])
            return refuse("missing " + std::string(kNames[key]));
    }
    std::string why;
    if (!IsValidSeat(seat, &why))
        return refuse(why);
    return seat;
}

SeatStore::SeatStore(std::string folder) : folder_(std::move(folder)) {}

std::string SeatStore::PathOf(uint64_t session, std::string_view player) const {
    if (folder_.empty())
        return {};
    return folder_ + "/" + SeatFileName(session, player);
}

bool SeatStore::Save(const Seat& seat, std::string& error) {
    if (folder_.empty()) {
        error = "there is no folder to keep seats in (neither XDG_STATE_HOME nor HOME is set)";
        return false;
    }
    if (!IsValidSeat(seat, &error))
        return false;
    if (!MakeFolders(folder_, error))
        return false;
    const std::string lockPath = folder_ + "/" + kLockName;
    FileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    bool shared = false;
    while (lock.valid() && !shared) {
        shared = ::flock(lock.get(), LOCK_SH) == 0;
        if (!shared && errno != EINTR)
            break;
    }
    if (!ReplaceFile(folder_, PathOf(seat.session, seat.player), SeatText(seat), error))
        return false;
    // Without the lock another writer's temporary could not be told from a dead one's.
    if (shared && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0)
        RemoveStaleFiles();
    return true;
}

// Called with the folder's lock held exclusively: no save is under way, so every temporary
// belongs to a writer that was killed.
void SeatStore::RemoveStaleFiles() const {
    DIR* dir = ::opendir(folder_.c_str());
    if (!dir)
        return;
    const time_t limit = std::time(nullptr) - static_cast<time_t>(kSeatKeepDays) * 24 * 60 * 60;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        const bool temp = IsSeatTempName(name);
        if (!temp && !IsSeatFileName(name))
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode)) {
            continue;
        }
        if (temp || info.st_mtime < limit)
            stale.emplace_back(name);
    }
    for (const auto& name : stale)
        ::unlinkat(::dirfd(dir), name.c_str(), 0);
    ::closedir(dir);
}

std::optional<Seat> SeatStore::Load(uint64_t session, std::string_view player,
                                    std::string* error) const {
    if (error)
        error->clear();
    if (folder_.empty())
        return std::nullopt;
    if (session == 0) {
        Fail(error, "the session id is zero");
        return std::nullopt;
    }
    if (!IsSeatPlayer(player, error))
        return std::nullopt;
    const std::string path = PathOf(session, player);
    // Non-blocking, so that a pipe put in its place cannot hold the game up.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        if (errno != ENOENT && errno != ENOTDIR)
            Fail(error, SystemError("cannot open", path));
        return std::nullopt;
    }
    auto refuse = [&](const std::string& why) -> std::optional<Seat> {
        Fail(error, path + ": " + why);
        return std::nullopt;
    };
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return refuse(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return refuse("not a regular file");
    const std::string tooLarge = "larger than " + std::to_string(kSeatFileMax) + " bytes";
    if (info.st_size > static_cast<off_t>(kSeatFileMax))
        return refuse(tooLarge);
    // One byte more than any seat file tells a file that grew meanwhile.
    std::string text(kSeatFileMax + 1, '\0');
    size_t size = 0;
    while (size < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + size, text.size() - size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refuse(std::strerror(errno));
        if (n == 0)
            break;
        size += static_cast<size_t>(n);
    }
    if (size > kSeatFileMax)
        return refuse(tooLarge);
    text.resize(size);
    std::string why;
    auto seat = ParseSeatText(text, &why);
    if (!seat)
        return refuse(why);
    if (seat->session != session)
        return refuse("holds a seat of another game");
    if (seat->player != player)
        return refuse("holds the seat of another player");
    return seat;
}

bool SeatStore::Forget(uint64_t session, std::string_view player, std::string* error) {
    if (error)
        error->clear();
    // No seat of an invalid key can have been saved.
    if (folder_.empty() || session == 0 || !IsSeatPlayer(player))
        return true;
    const std::string path = PathOf(session, player);
    if (::unlink(path.c_str()) == 0) {
        SyncFolder(folder_);
        return true;
    }
    if (errno == ENOENT || errno == ENOTDIR)
        return true;
    return Fail(error, SystemError("cannot remove", path));
}

}  // namespace platform
