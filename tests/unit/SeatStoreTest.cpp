// The seat store: round trips, seats kept apart, file modes, strict reading of damaged files,
// clearing of stale files, concurrent savers and where the folder is.
#include "platform/SeatStore.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

using namespace platform;
namespace fs = std::filesystem;

namespace {

std::string ReadRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteRaw(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

int Mode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// Sets (or with nullptr unsets) an environment variable while it lives.
class EnvVar {
  public:
    EnvVar(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        old_ = had_ ? old : "";
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~EnvVar() { had_ ? ::setenv(name_, old_.c_str(), 1) : ::unsetenv(name_); }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

  private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

class SeatStoreTest : public testing::Test {
  protected:
    void SetUp() override {
        char root[] = "/tmp/torvane-seats-XXXXXX";
        ASSERT_NE(::mkdtemp(root), nullptr);
        root_ = root;
        folder_ = root_ + "/state/Quillmere/Torvane";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    static Seat Make(uint64_t session, std::string player, uint64_t token = 0xfedcba9876543210) {
        return Seat{session, std::move(player), token, 3, 1875};
    }
    void SaveOk(SeatStore& store, const Seat& seat) {
        std::string error;
        ASSERT_TRUE(store.Save(seat, error)) << error;
    }

    std::string root_;
    std::string folder_;
};

}  // namespace

TEST_F(SeatStoreTest, SavedSeatReadsBackFromAPrivateFile) {
    SeatStore store(folder_);
    const Seat seat = Make(0x0123456789abcdef, "Ordi 1");
    const mode_t umask = ::umask(0);  // the modes must not depend on it
    std::string error;
    const bool saved = store.Save(seat, error);
    ::umask(umask);
    ASSERT_TRUE(saved) << error;
    EXPECT_EQ(store.Load(seat.session, seat.player, &error), seat) << error;
    EXPECT_TRUE(error.empty());
    const std::string path = store.PathOf(seat.session, seat.player);
    EXPECT_EQ(fs::path(path).filename(), "seat-0123456789abcdef-4f7264692031");
    EXPECT_EQ(ReadRaw(path),
              "torvane-seat 1\nsession 0123456789abcdef\nplayer 4f7264692031\n"
              "token fedcba9876543210\nnation 3\nyear 1875\n");
    EXPECT_EQ(Mode(path), 0600);
    EXPECT_EQ(Mode(folder_), 0700);
    EXPECT_EQ(Mode(root_ + "/state"), 0700);
    // A later save replaces it and leaves no temporary behind.
    Seat later = seat;
    later.year = 1901;
    SaveOk(store, later);
    EXPECT_EQ(store.Load(seat.session, seat.player), later);
    EXPECT_EQ(Names(folder_), (std::set<std::string>{fs::path(path).filename(), "seats.lock"}));
}

TEST_F(SeatStoreTest, SeatsOfOtherPlayersAndGamesStayApart) {
    SeatStore store(folder_);
    const Seat seats[] = {Make(7, "Ordi 1", 1), Make(7, "Ordi 2", 2), Make(8, "Ordi 1", 3),
                          Make(7, "Zo\xE9/\x81.", 4)};
    for (const auto& seat : seats)
        SaveOk(store, seat);
    for (const auto& seat : seats)
        EXPECT_EQ(store.Load(seat.session, seat.player), seat);
    for (const auto& name : Names(folder_))  // no name byte ever reaches a file name
        EXPECT_EQ(name.find_first_not_of("seatlock.-0123456789abcdef"), std::string::npos) << name;

    std::string error = "stale";
    EXPECT_TRUE(store.Forget(7, "Ordi 1", &error));
    EXPECT_FALSE(store.Load(7, "Ordi 1", &error));
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_TRUE(store.Forget(7, "Ordi 1"));  // nothing left to forget
    for (const auto& seat : {seats[1], seats[2], seats[3]})
        EXPECT_EQ(store.Load(seat.session, seat.player), seat);

    // Something that cannot be removed still remains.
    fs::create_directory(store.PathOf(9, "Ordi 1"));
    EXPECT_FALSE(store.Forget(9, "Ordi 1", &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(SeatStoreTest, InvalidSeatsAreNotSaved) {
    SeatStore store(folder_);
    const Seat good = Make(7, "Ordi 1");
    SaveOk(store, good);
    const std::string kept = ReadRaw(store.PathOf(7, "Ordi 1"));
    const auto with = [&](auto change) {
        Seat seat = good;
        change(seat);
        return seat;
    };
    const Seat bad[] = {
        with([](Seat& s) { s.session = 0; }),
        with([](Seat& s) { s.token = 0; }),
        with([](Seat& s) { s.nation = -1; }),
        with([](Seat& s) { s.nation = 8; }),
        with([](Seat& s) { s.year = 1869; }),
        with([](Seat& s) { s.year = 2101; }),
        with([](Seat& s) { s.player = ""; }),
        with([](Seat& s) { s.player = "Ordi 1\x7F"; }),
        with([](Seat& s) { s.player = "Ordi\n1"; }),
        with([](Seat& s) { s.player = "Ordinateur1"; }),
    };
    for (const auto& seat : bad) {
        std::string error;
        EXPECT_FALSE(store.Save(seat, error)) << seat.player;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(ReadRaw(store.PathOf(7, "Ordi 1")), kept);
    EXPECT_EQ(Names(folder_).size(), 2u);
}

TEST_F(SeatStoreTest, DamagedFilesAreRefusedAndKept) {
    SeatStore store(folder_);
    const Seat seat = Make(0x0123456789abcdef, "Ordi 1");
    const Seat other = Make(0x0123456789abcdef, "Ordi 2");
    SaveOk(store, seat);
    SaveOk(store, other);
    const std::string path = store.PathOf(seat.session, seat.player);
    const std::string valid = SeatText(seat);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = valid;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    std::vector<std::string> damaged;
    for (size_t n = 0; n < valid.size(); ++n)
        damaged.push_back(valid.substr(0, n));  // every truncation
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"seat 1", "seat 2"},
             {"torvane-seat", "torvane-save"},
             {"nation 3", "nation 8"},
             {"nation 3", "nation 03"},
             {"nation 3", "nation -1"},
             {"nation 3", "nation  3"},
             {"1875", "1869"},
             {"1875", std::string("18\0"
                                  "75",
                                  5)},
             {"token fedcba9876543210", "token 0000000000000000"},
             {"fedcba9876543210", "fedcba98765432zz"},
             {"fedcba9876543210", "FEDCBA9876543210"},
             {"0123456789abcdef", "0123456789abcde"},
             {"0123456789abcdef", "0123456789abcdee"},  // another game's seat
             {"7264692031", "7264692032"},              // another player's seat
             {"7264692031", "726469203"},
             {"7264692031", "7264690931"},  // odd hex, a tab
             {"year 1875\n", ""},
             {"year 1875\n", "year 1875\nnation 3\n"},
             {"year 1875\n", "year 1875\ncolour 3\n"},
             {"seat 1\n", "seat 1\n\n"},
             {"\n", "\r\n"},
             {"year 1875\n", "year 1875\n" + std::string(5000, '#') + "\n"}}) {
        damaged.push_back(replaced(from, to));
    }
    for (const auto& text : damaged) {
        WriteRaw(path, text);
        std::string error;
        EXPECT_FALSE(store.Load(seat.session, seat.player, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(ReadRaw(path), text);
    }
    std::string error;
    ASSERT_EQ(::truncate(path.c_str(), 1LL << 30), 0);  // huge, but never read
    EXPECT_FALSE(store.Load(seat.session, seat.player, &error));
    EXPECT_NE(error.find("larger"), std::string::npos) << error;
    EXPECT_EQ(fs::file_size(path), 1ull << 30);
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);  // must not wait for a writer
    EXPECT_FALSE(store.Load(seat.session, seat.player, &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_EQ(store.Load(other.session, other.player), other);  // nothing else is lost
}

TEST_F(SeatStoreTest, SaveClearsSeatsUnsavedFor90DaysAndKilledWritersTemporaries) {
    SeatStore store(folder_);
    SaveOk(store, Make(1, "Old"));
    SaveOk(store, Make(2, "Recent"));
    const auto age = [&](const std::string& name, int days) {
        fs::last_write_time(folder_ + "/" + name,
                            fs::file_time_type::clock::now() - std::chrono::hours(24 * days));
    };
    const std::string old = SeatFileName(1, "Old");
    const std::string recent = SeatFileName(2, "Recent");
    const std::string dead = SeatFileName(3, "Gone") + ".tmp.123.0";
    const std::set<std::string> lookalikes = {"notes.txt", "seat-123", old + ".bak",
                                              SeatFileName(3, "Gone") + ".tmp.x"};
    for (const auto& name : lookalikes) {
        WriteRaw(folder_ + "/" + name, "kept");
        age(name, 400);
    }
    WriteRaw(folder_ + "/" + dead, "torvane-seat 1\n");
    age(old, 91);
    age(recent, 89);

    SaveOk(store, Make(4, "New"));
    std::set<std::string> expected = lookalikes;
    expected.insert({recent, SeatFileName(4, "New"), "seats.lock"});
    EXPECT_EQ(Names(folder_), expected);
    EXPECT_EQ(store.Load(2, "Recent"), Make(2, "Recent"));
}

TEST_F(SeatStoreTest, ProcessesSavingAtOnceLoseNoSeat) {
    SeatStore store(folder_);
    std::vector<pid_t> children;
    for (int i = 0; i < 6; ++i) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // Four players of their own, and two processes fighting over one seat.
            const std::string player = i < 4 ? "Ordi " + std::to_string(i) : "Shared";
            bool ok = true;
            for (int year = 1870; year < 1970; ++year) {
                Seat seat = Make(5, player, static_cast<uint64_t>(i + 1));
                seat.year = year;
                std::string error;
                ok = store.Save(seat, error) && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int i = 0; i < 4; ++i) {
        const auto seat = store.Load(5, "Ordi " + std::to_string(i));
        ASSERT_TRUE(seat);
        EXPECT_EQ(seat->token, static_cast<uint64_t>(i + 1));
        EXPECT_EQ(seat->year, 1969);
    }
    std::string error;
    const auto shared = store.Load(5, "Shared", &error);
    ASSERT_TRUE(shared) << error;
    EXPECT_TRUE(shared->token == 5 || shared->token == 6);
    EXPECT_EQ(Names(folder_).size(), 6u);  // five seats and the lock, no temporary
}

TEST_F(SeatStoreTest, FolderFollowsXdgStateHomeElseHome) {
    struct Case {
        const char* state;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"/x/state", "/h", "/x/state/Quillmere/Torvane"},
        {"x/state", "/h", "/h/.local/state/Quillmere/Torvane"},  // relative: not used
        {"", "/h", "/h/.local/state/Quillmere/Torvane"},
        {nullptr, "/h", "/h/.local/state/Quillmere/Torvane"},
        {"/x/state", nullptr, "/x/state/Quillmere/Torvane"},
        {nullptr, "h", ""},
        {nullptr, nullptr, ""},
    };
    for (const auto& c : cases) {
        EnvVar state("XDG_STATE_HOME", c.state);
        EnvVar home("HOME", c.home);
        EXPECT_EQ(DefaultSeatFolder(), c.expected)
            << (c.state ? c.state : "-") << " " << (c.home ? c.home : "-");
    }
    {
        EnvVar state("XDG_STATE_HOME", nullptr);
        EnvVar home("HOME", root_.c_str());
        SeatStore store;
        SaveOk(store, Make(6, "Ordi 1"));
        EXPECT_EQ(Mode(root_ + "/.local/state/Quillmere/Torvane/" + SeatFileName(6, "Ordi 1")),
                  0600);
    }
    EnvVar state("XDG_STATE_HOME", nullptr);
    EnvVar home("HOME", nullptr);
    SeatStore none;
    EXPECT_TRUE(none.folder().empty());
    std::string error;
    EXPECT_FALSE(none.Save(Make(6, "Ordi 1"), error));
    EXPECT_NE(error.find("HOME"), std::string::npos) << error;
    EXPECT_FALSE(none.Load(6, "Ordi 1"));
    EXPECT_TRUE(none.Forget(6, "Ordi 1"));
}
