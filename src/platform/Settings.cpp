// The game's persistent settings, one value per read or write, in a regedit-style file.
//
// Every write takes an advisory lock on a companion lock file, re-reads the current file, changes
// one value and replaces the file atomically (temporary file, fsync, rename), so a crash mid-write
// leaves the old or the new file, and two game processes writing different values lose neither.
#include "platform/Settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/SettingsFile.h"

namespace platform {
namespace {

// A settings file larger than this is not ours to parse.
constexpr off_t kMaxFileSize = 1 << 20;

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_;
};

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWhole(const std::string& path, std::string& out) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxFileSize) {
        return ReadResult::Failed;
    }
    out.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
        if (out.size() > static_cast<size_t>(kMaxFileSize))
            return ReadResult::Failed;
    }
    return ReadResult::Ok;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// A writer killed between creating its temporary file and renaming it leaves the file behind.
// Every writer creates its temporary only while it holds the lock, so once we hold it any such
// file belongs to a writer that is gone (a live one would still hold the lock), whatever its
// process number has become since.
void RemoveDeadWritersTemporaries(const std::string& path) {
    const std::filesystem::path file(path);
    const std::string prefix = file.filename().string() + ".tmp.";
    std::error_code error;
    std::filesystem::directory_iterator entry(file.parent_path(), error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
            std::error_code ignored;
            std::filesystem::remove(entry->path(), ignored);
        }
    }
}

// Replaces `path` by `content` atomically. The caller holds the lock.
bool ReplaceFile(const std::string& path, const std::string& content) {
    const std::string temp = path + ".tmp." + std::to_string(::getpid());
    {
        FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (!fd.valid())
            return false;
        if (!WriteAll(fd.get(), content) || ::fsync(fd.get()) != 0) {
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    const std::string folder = std::filesystem::path(path).parent_path().string();
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get());
    return true;
}

// Holds the exclusive advisory lock that serialises writers, across processes.
class WriteLock {
  public:
    explicit WriteLock(const std::string& path)
        : fd_(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (!fd_.valid())
            return;
        while (::flock(fd_.get(), LOCK_EX) != 0) {
            if (errno != EINTR)
                return;
        }
        locked_ = true;
    }
    ~WriteLock() {
        if (locked_)
            ::flock(fd_.get(), LOCK_UN);
    }
    bool locked() const { return locked_; }

  private:
    FileDescriptor fd_;
    bool locked_ = false;
};

bool EnsureFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    return !error;
}

// Changes the file under the lock. `change` edits the document; false when nothing was written.
template <typename Change>
bool Modify(Change change) {
    const std::string path = SettingsFilePath();
    if (!EnsureFolder(path))
        return false;
    WriteLock lock(path);
    if (!lock.locked())
        return false;
    RemoveDeadWritersTemporaries(path);
    std::string content;
    SettingsDocument doc;
    switch (ReadWhole(path, content)) {
        case ReadResult::Ok:
            doc = SettingsDocument::Parse(content);
            break;
        case ReadResult::Missing:
            doc = SettingsDocument::Empty();
            break;
        case ReadResult::Failed:
            return false;  // never replace a file we could not read
    }
    change(doc);
    return ReplaceFile(path, doc.Serialize());
}

// The current document; a missing file is created with the empty key, as the first read of a
// new installation does.
std::optional<SettingsDocument> Load() {
    const std::string path = SettingsFilePath();
    std::string content;
    switch (ReadWhole(path, content)) {
        case ReadResult::Ok:
            return SettingsDocument::Parse(content);
        case ReadResult::Missing:
            Modify([](SettingsDocument&) {});
            return SettingsDocument::Empty();
        case ReadResult::Failed:
            break;
    }
    return std::nullopt;
}

std::optional<SettingValue> Lookup(const std::string& name) {
    auto doc = Load();
    if (!doc)
        return std::nullopt;
    return doc->Find(name);
}

}  // namespace

std::string SettingsFilePath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* entry = ::getpwuid(::getuid());
            home = entry && entry->pw_dir ? entry->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/Quillmere/Torvane/settings.reg";
}

bool GetBoolSetting(const std::string& name, bool fallback) {
    auto value = Lookup(name);
    if (!value || value->type != SettingType::Dword)
        return fallback;
    return value->dword != 0;
}

int32_t GetIntSetting(const std::string& name, int32_t fallback) {
    auto value = Lookup(name);
    if (!value || value->type != SettingType::Dword)
        return fallback;
    return static_cast<int32_t>(value->dword);
}

std::string GetStringSetting(const std::string& name, const std::string& fallback) {
    auto value = Lookup(name);
    if (!value)
        return fallback;
    if (value->type != SettingType::String && value->type != SettingType::ExpandString) {
        return fallback;
    }
    // Text ends at its first zero, as a stored C string does.
    std::string text = value->text.substr(0, value->text.find('\0'));
    return text.empty() ? fallback : text;
}

void SetBoolSetting(const std::string& name, bool value) {
    Modify([&](SettingsDocument& doc) { doc.SetDword(name, value ? 1u : 0u); });
}

void SetIntSetting(const std::string& name, int32_t value) {
    Modify([&](SettingsDocument& doc) { doc.SetDword(name, static_cast<uint32_t>(value)); });
}

void SetStringSetting(const std::string& name, const std::string& value) {
    // A stored string ends at its first zero.
    const std::string text = value.substr(0, value.find('\0'));
    Modify([&](SettingsDocument& doc) { doc.SetString(name, text); });
}

}  // namespace platform
