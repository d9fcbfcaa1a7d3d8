// The store of saved games: round trips, the listing's order, the twenty kept, files that cannot
// be read, links, failed and killed writers, and where the folder is.
#include "platform/SaveStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

using namespace platform;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Bytes(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return bytes;
}

void WriteRaw(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Sets a file's last write to `seconds` since 1970, without following a link.
void Touch(const std::string& path, int64_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

int Mode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

size_t Temporaries(const std::string& folder) {
    size_t count = 0;
    for (const std::string& name : Names(folder))
        count += name.find(".sav.tmp.") != std::string::npos ? 1 : 0;
    return count;
}

class SaveStoreTest : public testing::Test {
  protected:
    void SetUp() override {
        char root[] = "/tmp/torvane-saves-XXXXXX";
        ASSERT_NE(::mkdtemp(root), nullptr);
        root_ = root;
        folder_ = root_ + "/share/Quillmere/Torvane/parties";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    static void SaveOk(SaveStore& store, uint64_t id, const std::vector<uint8_t>& bytes) {
        std::string error;
        ASSERT_TRUE(store.Save(id, bytes, error)) << error;
        EXPECT_TRUE(error.empty());
    }
    std::string root_;
    std::string folder_;
};

TEST_F(SaveStoreTest, SavesListsLoadsReplacesAndRemoves) {
    // Whatever the umask takes, the folders are 0700 and the files 0600.
    const mode_t umask = ::umask(0277);
    SaveStore store(folder_);
    EXPECT_TRUE(store.List().empty());
    SaveOk(store, 0xAB, Bytes(1000, 1));
    SaveOk(store, 0x1234567890abcdefull, Bytes(0, 2));
    SaveOk(store, 7, Bytes(3 << 20, 3));
    EXPECT_EQ(Mode(folder_), 0700);
    EXPECT_EQ(Mode(root_ + "/share/Quillmere"), 0700);
    EXPECT_EQ(store.PathOf(0xAB), folder_ + "/partie-00000000000000ab.sav");
    EXPECT_EQ(Mode(store.PathOf(0xAB)), 0600);
    ::umask(umask);
    Touch(store.PathOf(0xAB), 1000);
    Touch(store.PathOf(7), 3000);
    Touch(store.PathOf(0x1234567890abcdefull), 2000);
    const std::vector<SaveEntry> list = store.List();
    ASSERT_EQ(list.size(), 3u);
    const uint64_t newestFirst[] = {7, 0x1234567890abcdefull, 0xAB};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(list[i].gameId, newestFirst[i]);
        EXPECT_EQ(list[i].path, store.PathOf(newestFirst[i]));
        EXPECT_EQ(list[i].modified, 3000 - 1000 * static_cast<int64_t>(i));
        EXPECT_TRUE(list[i].error.empty()) << list[i].error;
    }
    EXPECT_EQ(list[0].bytes, Bytes(3 << 20, 3));
    EXPECT_EQ(list[2].bytes, Bytes(1000, 1));

    SaveOk(store, 0xAB, Bytes(10, 9));
    EXPECT_EQ(store.Load(0xAB), Bytes(10, 9));
    EXPECT_EQ(store.List().front().gameId, 0xABu);
    std::string error;
    EXPECT_TRUE(store.Remove(0xAB, &error)) << error;
    EXPECT_FALSE(store.Load(0xAB, &error));
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(store.Remove(0xAB, &error));
    EXPECT_EQ(store.List().size(), 2u);
    // Ties by name; the lock file and the rest of the folder are never listed.
    Touch(store.PathOf(0x1234567890abcdefull), 3000);
    EXPECT_EQ(store.List().front().gameId, 7u);
    EXPECT_EQ(Names(folder_), (std::set<std::string>{"parties.lock", SaveFileName(7),
                                                     SaveFileName(0x1234567890abcdefull)}));
}

TEST_F(SaveStoreTest, OnlyTheTwentyNewestAreKeptAndTheRestOfTheFolderIsLeftAlone) {
    SaveStore store(folder_);
    fs::create_directories(folder_);
    for (const char* other : {"notes.txt", "partie-00000000000000AB.sav", "partie-1.sav",
                              "partie-0000000000000000.sav", "partie-00000000000000ab.sav.old"})
        WriteRaw(folder_ + "/" + other, Bytes(3, 0));
    for (uint64_t id = 1; id <= 25; ++id) {
        SaveOk(store, id, Bytes(10, static_cast<uint8_t>(id)));
        Touch(store.PathOf(id), 100000 + static_cast<int64_t>(id));
    }
    std::vector<uint64_t> kept;
    for (const SaveEntry& entry : store.List())
        kept.push_back(entry.gameId);
    std::vector<uint64_t> expected;
    for (uint64_t id = 25; id >= 6; --id)
        expected.push_back(id);
    EXPECT_EQ(kept, expected);
    EXPECT_EQ(Names(folder_).size(), kSavesKept + 6);
    // The save just written stays, even when the clock says the others are newer.
    for (uint64_t id = 6; id <= 25; ++id)
        Touch(store.PathOf(id), 4000000000 + static_cast<int64_t>(id));
    SaveOk(store, 99, Bytes(10, 99));
    EXPECT_TRUE(store.Load(99));
    EXPECT_FALSE(store.Load(6));
    EXPECT_EQ(store.List().size(), kSavesKept);
}

TEST_F(SaveStoreTest, WhatCannotBeReadIsListedWithItsReason) {
    SaveStore store(folder_, 1000);
    SaveOk(store, 1, Bytes(1000, 1));
    std::string error;
    EXPECT_FALSE(store.Save(2, Bytes(1001, 2), error));
    EXPECT_NE(error.find("1001"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(store.PathOf(2)));
    WriteRaw(store.PathOf(3), Bytes(1001, 3));
    fs::create_directory(store.PathOf(4));
    WriteRaw(root_ + "/outside", Bytes(10, 5));
    fs::create_symlink(root_ + "/outside", store.PathOf(5));
    ASSERT_EQ(::mkfifo(store.PathOf(6).c_str(), 0600), 0);
    WriteRaw(store.PathOf(8) + ".tmp.12.0", Bytes(10, 8));
    const std::map<uint64_t, std::string> reasons = {{3, "plus grand que 1000 octets"},
                                                     {4, "pas un fichier ordinaire"},
                                                     {5, "lien symbolique"},
                                                     {6, "pas un fichier ordinaire"}};
    const std::vector<SaveEntry> list = store.List();
    ASSERT_EQ(list.size(), 5u);
    for (const SaveEntry& entry : list) {
        if (entry.gameId == 1) {
            EXPECT_EQ(entry.bytes, Bytes(1000, 1));
            continue;
        }
        ASSERT_TRUE(reasons.count(entry.gameId)) << entry.gameId;
        EXPECT_TRUE(entry.bytes.empty());
        EXPECT_NE(entry.error.find(reasons.at(entry.gameId)), std::string::npos) << entry.error;
        EXPECT_FALSE(store.Load(entry.gameId, &error));
        EXPECT_EQ(error, entry.error);
    }
    // A link at a save's name is replaced by the file, never written through.
    SaveOk(store, 5, Bytes(20, 6));
    EXPECT_EQ(store.Load(5), Bytes(20, 6));
    EXPECT_FALSE(fs::is_symlink(store.PathOf(5)));
    std::ifstream outside(root_ + "/outside", std::ios::binary);
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(outside), {}), Bytes(10, 5));
    EXPECT_FALSE(fs::exists(store.PathOf(8) + ".tmp.12.0"));
}

// Children: a writer that cannot write (its file size limit) and writers killed mid-save.
TEST_F(SaveStoreTest, FailedOrKilledWritersNeverLeaveAnUnreadableFile) {
    SaveStore store(folder_);
    const std::vector<uint8_t> first = Bytes(4 << 20, 1);
    const std::vector<uint8_t> second = Bytes(4 << 20, 2);
    SaveOk(store, 42, first);
    const pid_t limited = ::fork();
    ASSERT_GE(limited, 0);
    if (limited == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        const bool saved = store.Save(42, second, error);
        ::_exit(!saved && !error.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(limited, &status, 0), limited);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(store.Load(42), first);
    EXPECT_EQ(Temporaries(folder_), 0u);

    for (int round = 0; round < 8; ++round) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            ::close(ready[0]);
            std::string error;
            for (int n = 0;; ++n) {
                store.Save(42, n % 2 == 0 ? second : first, error);
                if (n == 0 && ::write(ready[1], "x", 1) != 1)
                    ::_exit(1);
            }
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        // Killed somewhere in its writes, at a different moment each round.
        ::usleep(static_cast<useconds_t>(round * 2700));
        ::kill(writer, SIGKILL);
        ASSERT_EQ(::waitpid(writer, &status, 0), writer);
        const auto loaded = store.Load(42);
        ASSERT_TRUE(loaded) << "round " << round;
        EXPECT_TRUE(*loaded == first || *loaded == second) << "round " << round;
    }
    // The temporaries the killed writers left go with the next save.
    WriteRaw(store.PathOf(42) + ".tmp.999999.3", Bytes(100, 0));
    SaveOk(store, 43, Bytes(10, 0));
    EXPECT_EQ(Temporaries(folder_), 0u);
    EXPECT_EQ(store.List().size(), 2u);
}

TEST(SaveStoreFolder, FollowsXdgDataHomeThenHome) {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const std::string oldData = data ? data : "";
    const std::string oldHome = home ? home : "";
    ::setenv("XDG_DATA_HOME", "/data", 1);
    ::setenv("HOME", "/home/joueur", 1);
    EXPECT_EQ(DefaultSaveFolder(), "/data/Quillmere/Torvane/parties");
    ::setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(DefaultSaveFolder(), "/home/joueur/.local/share/Quillmere/Torvane/parties");
    ::setenv("HOME", "also/relative", 1);
    EXPECT_EQ(DefaultSaveFolder(), "");
    data ? ::setenv("XDG_DATA_HOME", oldData.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
    home ? ::setenv("HOME", oldHome.c_str(), 1) : ::unsetenv("HOME");
    SaveStore none("");
    std::string error;
    EXPECT_FALSE(none.Save(1, Bytes(1, 0), error));
    EXPECT_NE(error.find("XDG_DATA_HOME"), std::string::npos);
    EXPECT_TRUE(none.List().empty());
    EXPECT_FALSE(none.Load(1));
    EXPECT_EQ(SaveFileName(0xFEDCBA9876543210ull), "partie-fedcba9876543210.sav");
}

}  // namespace
