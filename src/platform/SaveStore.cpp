// The saved games on disk, one file per game.
//
// Writers hold a shared advisory lock on the folder's lock file from creating their temporary
// file until it is renamed into place, so any number of processes save at once. Clearing out the
// oldest saves and the temporaries of killed writers takes the lock exclusively, and only when
// nobody is writing at that moment: it never races a save.
#include "platform/SaveStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace platform {
namespace {

constexpr std::string_view kFilePrefix = "partie-";
constexpr std::string_view kFileSuffix = ".sav";
constexpr std::string_view kTempMark = ".tmp.";
constexpr const char* kLockName = "parties.lock";

// Words of the reasons whose \xE9 comes before a letter that would read as one more hex digit.
constexpr const char* kCreate =
    "cr\xE9"
    "er";
constexpr const char* kWrite =
    "\xE9"
    "crire";

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

// "impossible de <what> <path> : <the system's reason>", from errno as it is now.
std::string SystemError(const std::string& what, const std::string& path) {
    return "impossible " + what + " " + path + " : " + std::strerror(errno);
}

std::string Hex64(uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        out[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return out;
}

bool IsDecimal(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// The game id of a save file name as SaveFileName writes it (never 0); nullopt for any other.
std::optional<uint64_t> SaveIdOf(std::string_view name) {
    if (name.size() != kFilePrefix.size() + 16 + kFileSuffix.size() ||
        name.substr(0, kFilePrefix.size()) != kFilePrefix ||
        name.substr(name.size() - kFileSuffix.size()) != kFileSuffix) {
        return std::nullopt;
    }
    uint64_t id = 0;
    for (char c : name.substr(kFilePrefix.size(), 16)) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (digit < 0)
            return std::nullopt;
        id = id << 4 | static_cast<uint64_t>(digit);
    }
    if (id == 0)
        return std::nullopt;
    return id;
}

// "<save file name>.tmp.<pid>.<n>", the temporary a writer renames into place.
bool IsSaveTempName(std::string_view name) {
    const size_t mark = name.find(kTempMark);
    if (mark == std::string_view::npos || !SaveIdOf(name.substr(0, mark)))
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
            error = SystemError(std::string("de ") + kCreate, path);
            return false;
        }
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            error = path + " n'est pas un dossier";
            return false;
        }
    }
    return true;
}

bool WriteAll(int fd, std::span<const uint8_t> data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data = data.subspan(static_cast<size_t>(n));
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get());
}

// Writes `bytes` to `path` through a temporary file of the same folder.
bool ReplaceFile(const std::string& folder, const std::string& path, std::span<const uint8_t> bytes,
                 std::string& error) {
    static std::atomic<unsigned> counter{0};
    const std::string temp = path + std::string(kTempMark) + std::to_string(::getpid()) + "." +
                             std::to_string(counter.fetch_add(1));
    // Never through a link: whatever lies at the temporary's name, it is not written into.
    FileDescriptor fd(
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) {
        error = SystemError(std::string("de ") + kCreate, temp);
        return false;
    }
    // The umask may have taken the owner's bits; nobody else ever gets any.
    bool written =
        ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    if (!written)
        error = SystemError(std::string("d'") + kWrite, temp);
    if (!fd.Close() && written) {
        error = SystemError(std::string("d'") + kWrite, temp);
        written = false;
    }
    if (!written) {
        ::unlink(temp.c_str());
        return false;
    }
    // A link at the file's own name is replaced, never followed.
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = SystemError("de remplacer", path);
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

// What one file of the folder holds, read without following a link and within `maxBytes`.
struct FileRead {
    bool missing = false;
    std::vector<uint8_t> bytes;
    std::string error;
};

FileRead ReadBounded(int dirFd, const std::string& name, const std::string& path, size_t maxBytes) {
    FileRead read;
    // Non-blocking, so that a pipe put in its place cannot hold the game up.
    FileDescriptor fd(
        ::openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR)
            read.missing = true;
        else if (errno == ELOOP)
            read.error = path + " : un lien symbolique, pas une partie";
        else
            read.error = SystemError("d'ouvrir", path);
        return read;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        read.error = SystemError("de lire", path);
        return read;
    }
    if (!S_ISREG(info.st_mode)) {
        read.error = path + " : pas un fichier ordinaire";
        return read;
    }
    const std::string tooLarge = path + " : plus grand que " + std::to_string(maxBytes) + " octets";
    if (static_cast<uint64_t>(info.st_size) > maxBytes) {
        read.error = tooLarge;
        return read;
    }
    // A file that grew since fstat is read on, up to one byte past the limit that tells it.
    std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size) + 1);
    size_t size = 0;
    while (size < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + size, bytes.size() - size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            read.error = SystemError("de lire", path);
            return read;
        }
        if (n == 0)
            break;
        size += static_cast<size_t>(n);
        if (size == bytes.size() && size <= maxBytes)
            bytes.resize(std::min(maxBytes + 1, bytes.size() * 2));
    }
    if (size > maxBytes) {
        read.error = tooLarge;
        return read;
    }
    bytes.resize(size);
    read.bytes = std::move(bytes);
    return read;
}

// A file's last write, to the nanosecond the file system keeps.
struct Stamp {
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
    auto operator<=>(const Stamp&) const = default;
};

Stamp StampOf(const struct stat& info) {
    return {static_cast<int64_t>(info.st_mtim.tv_sec), static_cast<int64_t>(info.st_mtim.tv_nsec)};
}

bool Fail(std::string* error, std::string why) {
    if (error)
        *error = std::move(why);
    return false;
}

}  // namespace

std::string DefaultSaveFolder() {
    std::string base;
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (data && data[0] == '/') {
        base = data;
    } else if (home && home[0] == '/') {
        base = std::string(home) + "/.local/share";
    } else {
        return {};
    }
    return base + "/Quillmere/Torvane/parties";
}

std::string SaveFileName(uint64_t gameId) {
    return std::string(kFilePrefix) + Hex64(gameId) + std::string(kFileSuffix);
}

SaveStore::SaveStore(std::string folder, size_t maxBytes)
    : folder_(std::move(folder)), maxBytes_(maxBytes) {}

std::string SaveStore::PathOf(uint64_t gameId) const {
    if (folder_.empty())
        return {};
    return folder_ + "/" + SaveFileName(gameId);
}

bool SaveStore::Save(uint64_t gameId, std::span<const uint8_t> bytes, std::string& error) {
    if (folder_.empty()) {
        error =
            "aucun dossier o\xF9 enregistrer les parties (ni XDG_DATA_HOME ni HOME ne donnent "
            "de chemin absolu)";
        return false;
    }
    if (gameId == 0) {
        error = "num\xE9ro de partie nul";
        return false;
    }
    if (bytes.size() > maxBytes_) {
        error = "partie trop grande : " + std::to_string(bytes.size()) + " octets, au plus " +
                std::to_string(maxBytes_);
        return false;
    }
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
    if (!ReplaceFile(folder_, PathOf(gameId), bytes, error))
        return false;
    // Without the lock another writer's temporary could not be told from a dead one's.
    if (shared && ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0)
        Tidy(SaveFileName(gameId));
    return true;
}

// Called with the folder's lock held exclusively: no save is under way, so every temporary
// belongs to a writer that was killed. `kept`, just written, counts as the newest save.
void SaveStore::Tidy(const std::string& kept) const {
    DIR* dir = ::opendir(folder_.c_str());
    if (!dir)
        return;
    std::vector<std::string> stale;
    std::vector<std::pair<Stamp, std::string>> saves;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        const bool temp = IsSaveTempName(name);
        if (!temp && (!SaveIdOf(name) || name == kept))
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode)) {
            continue;
        }
        if (temp)
            stale.emplace_back(name);
        else
            saves.emplace_back(StampOf(info), name);
    }
    std::sort(saves.begin(), saves.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    for (size_t i = kSavesKept - 1; i < saves.size(); ++i)
        stale.push_back(saves[i].second);
    for (const auto& name : stale)
        ::unlinkat(::dirfd(dir), name.c_str(), 0);
    ::closedir(dir);
    if (!stale.empty())
        SyncFolder(folder_);
}

std::vector<SaveEntry> SaveStore::List() const {
    std::vector<SaveEntry> entries;
    if (folder_.empty())
        return entries;
    DIR* dir = ::opendir(folder_.c_str());
    if (!dir)
        return entries;
    std::vector<std::pair<Stamp, SaveEntry>> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const std::optional<uint64_t> id = SaveIdOf(name);
        if (!id)
            continue;
        SaveEntry save;
        save.gameId = *id;
        save.path = folder_ + "/" + name;
        struct stat info {};
        if (::fstatat(::dirfd(dir), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;  // gone meanwhile
        FileRead read = ReadBounded(::dirfd(dir), name, save.path, maxBytes_);
        if (read.missing)
            continue;
        save.modified = static_cast<int64_t>(info.st_mtim.tv_sec);
        save.bytes = std::move(read.bytes);
        save.error = std::move(read.error);
        found.emplace_back(StampOf(info), std::move(save));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second.path < b.second.path;
    });
    entries.reserve(found.size());
    for (auto& [stamp, save] : found)
        entries.push_back(std::move(save));
    return entries;
}

std::optional<std::vector<uint8_t>> SaveStore::Load(uint64_t gameId, std::string* error) const {
    if (error)
        error->clear();
    // No file of game 0 is ever saved.
    if (folder_.empty() || gameId == 0)
        return std::nullopt;
    FileDescriptor dir(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) {
        if (errno != ENOENT && errno != ENOTDIR)
            Fail(error, SystemError("d'ouvrir", folder_));
        return std::nullopt;
    }
    FileRead read = ReadBounded(dir.get(), SaveFileName(gameId), PathOf(gameId), maxBytes_);
    if (read.missing)
        return std::nullopt;
    if (!read.error.empty()) {
        Fail(error, std::move(read.error));
        return std::nullopt;
    }
    return std::move(read.bytes);
}

bool SaveStore::Remove(uint64_t gameId, std::string* error) {
    if (error)
        error->clear();
    if (folder_.empty() || gameId == 0)
        return true;
    const std::string path = PathOf(gameId);
    if (::unlink(path.c_str()) == 0) {
        SyncFolder(folder_);
        return true;
    }
    if (errno == ENOENT || errno == ENOTDIR)
        return true;
    return Fail(error, SystemError("de supprimer", path));
}

}  // namespace platform
