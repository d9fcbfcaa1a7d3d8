// The settings file: typing rules, defaults, encoding, atomic replacement and concurrent writers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "platform/Settings.h"
#include "platform/SettingsFile.h"
#include "support/TestSupport.h"

using namespace platform;

namespace {

std::string ReadFile() {
    std::ifstream in(SettingsFilePath(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(SettingsFilePath()).parent_path());
    std::ofstream(SettingsFilePath(), std::ios::binary) << content;
}

std::string Key() {
    return std::string("[") + kSettingsKey + "]\n";
}

class Settings : public testing::Test {
  protected:
    void SetUp() override { testsupport::ClearSettings(); }
};

}  // namespace

TEST_F(Settings, FirstReadCreatesTheEmptyKeyAndReturnsTheDefault) {
    ASSERT_FALSE(std::filesystem::exists(SettingsFilePath()));
    EXPECT_TRUE(GetBoolSetting("FullScreen", true));
    ASSERT_TRUE(std::filesystem::exists(SettingsFilePath()));
    EXPECT_EQ(ReadFile(), "REGEDIT4\n\n" + Key());
    EXPECT_EQ(GetIntSetting("MusicVolume", 100), 100);
    EXPECT_EQ(GetStringSetting("ConnectIP", "192.168.0.1"), "192.168.0.1");
}

TEST_F(Settings, ValuesKeepTheirTypes) {
    SetBoolSetting("FullScreen", false);
    SetIntSetting("MusicVolume", 250);
    SetIntSetting("SoundEffectVolume", -7);
    SetStringSetting("PlayerName", "Zo\xE9");
    EXPECT_FALSE(GetBoolSetting("FullScreen", true));
    EXPECT_EQ(GetIntSetting("MusicVolume", 100), 250);
    EXPECT_EQ(GetIntSetting("SoundEffectVolume", 100), -7);
    EXPECT_EQ(GetStringSetting("PlayerName", "Anonymous"), "Zo\xE9");
    const std::string file = ReadFile();
    EXPECT_NE(file.find("\"FullScreen\"=dword:00000000\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"MusicVolume\"=dword:000000fa\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"SoundEffectVolume\"=dword:fffffff9\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"PlayerName\"=\"Zo\xC3\xA9\"\n"), std::string::npos) << file;  // UTF-8
}

TEST_F(Settings, WrongTypesReadAsTheDefault) {
    WriteFile("REGEDIT4\n\n" + Key() +
              "\"FullScreen\"=\"yes\"\n"
              "\"MusicVolume\"=hex:01,02\n"
              "\"PlayerName\"=dword:00000001\n"
              "\"ShowDebugInfo\"=dword:00000007\n");
    EXPECT_TRUE(GetBoolSetting("FullScreen", true));
    EXPECT_EQ(GetIntSetting("MusicVolume", 100), 100);
    EXPECT_EQ(GetStringSetting("PlayerName", "Anonymous"), "Anonymous");
    EXPECT_TRUE(GetBoolSetting("ShowDebugInfo", false));  // any non-zero number is true
}

TEST_F(Settings, EmptyStringReadsAsTheDefault) {
    SetStringSetting("PlayerName", "");
    EXPECT_EQ(GetStringSetting("PlayerName", "Anonymous"), "Anonymous");
    EXPECT_NE(ReadFile().find("\"PlayerName\"=\"\""), std::string::npos);
}

TEST_F(Settings, EscapesAndUnmappableCharacters) {
    SetStringSetting("PlayerName", "a\"b\\c");
    EXPECT_NE(ReadFile().find("\"PlayerName\"=\"a\\\"b\\\\c\""), std::string::npos);
    EXPECT_EQ(GetStringSetting("PlayerName", "x"), "a\"b\\c");
    WriteFile("REGEDIT4\n\n" + Key() + "\"PlayerName\"=\"\xE6\x97\xA5\xC3\xA9\xE2\x82\xAC\"\n");
    EXPECT_EQ(GetStringSetting("PlayerName", "x"), "?\xE9\x80");  // CJK has no 1252 form
}

TEST_F(Settings, ExpandStringsAndHexDwordsAreRead) {
    // "Hé" as UTF-16LE, continued over two lines as regedit writes long data.
    WriteFile("REGEDIT4\n\n" + Key() + "\"ConnectIP\"=hex(2):48,00,\\\n  e9,00,00,00\n" +
              "\"MusicVolume\"=hex(4):32,00,00,00\n");
    EXPECT_EQ(GetStringSetting("ConnectIP", "x"), "H\xE9");
    EXPECT_EQ(GetIntSetting("MusicVolume", 100), 50);
}

TEST_F(Settings, ForeignLinesAndOtherKeysAreKept) {
    const std::string original =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
        "\"FullScreen\"=dword:00000000\r\n\r\n" +
        Key() + "this line is not a value\n\"ConnectIP\"=\"10.0.0.1\"\n";
    WriteFile(original);
    // A value of another key is not ours.
    EXPECT_TRUE(GetBoolSetting("FullScreen", true));
    EXPECT_EQ(GetStringSetting("ConnectIP", "x"), "10.0.0.1");
    SetIntSetting("MusicVolume", 40);
    SetStringSetting("ConnectIP", "10.0.0.2");
    const std::string file = ReadFile();
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Other]\n\"FullScreen\"=dword:00000000"),
              std::string::npos);
    EXPECT_NE(file.find("this line is not a value"), std::string::npos);
    EXPECT_EQ(GetIntSetting("MusicVolume", 100), 40);
    EXPECT_EQ(GetStringSetting("ConnectIP", "x"), "10.0.0.2");
    EXPECT_EQ(file.find("10.0.0.1"), std::string::npos);
}

TEST_F(Settings, NamesAreCaseInsensitiveAndDuplicatesCollapse) {
    WriteFile("REGEDIT4\n\n" + Key() + "\"fullscreen\"=dword:00000000\n\"FULLSCREEN\"=dword:1\n");
    EXPECT_TRUE(GetBoolSetting("FullScreen", false));  // the later line wins
    SetBoolSetting("FullScreen", false);
    const std::string file = ReadFile();
    EXPECT_EQ(file.find("FULLSCREEN"), std::string::npos);
    EXPECT_FALSE(GetBoolSetting("FullScreen", true));
}

TEST_F(Settings, GarbageFileNeverCrashesAndIsNotLost) {
    std::string garbage = "\x01\x02\xFF\xFE garbage [ \"unterminated=\n\"X\"=dword:zz\n";
    garbage += std::string(1000, '\0');
    WriteFile(garbage);
    EXPECT_EQ(GetIntSetting("X", 3), 3);
    SetIntSetting("MusicVolume", 12);
    EXPECT_EQ(GetIntSetting("MusicVolume", 100), 12);
    EXPECT_NE(ReadFile().find("garbage"), std::string::npos);
}

TEST_F(Settings, OversizedFileIsNeitherReadNorReplaced) {
    WriteFile(std::string(2 << 20, 'x'));
    EXPECT_EQ(GetIntSetting("MusicVolume", 77), 77);
    SetIntSetting("MusicVolume", 5);
    EXPECT_EQ(std::filesystem::file_size(SettingsFilePath()), static_cast<uintmax_t>(2 << 20));
}

TEST_F(Settings, KillDuringWritesLeavesAReadableFile) {
    SetStringSetting("PlayerName", "Stable");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0;; ++i)
            SetIntSetting("MusicVolume", i % 101);
    }
    ::usleep(150 * 1000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(GetStringSetting("PlayerName", "lost"), "Stable");
    const int volume = GetIntSetting("MusicVolume", -1);
    EXPECT_GE(volume, 0);
    EXPECT_LE(volume, 100);
    // No temporary file is mistaken for the settings.
    const std::string file = ReadFile();
    EXPECT_EQ(file.rfind("REGEDIT4", 0), 0u);
}

TEST_F(Settings, AWriteClearsTheTemporaryFilesOfKilledWriters) {
    SetStringSetting("PlayerName", "Stable");
    std::mt19937 random(1870);
    pid_t lastWriter = 0;
    for (int kill = 0; kill < 20; ++kill) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                SetIntSetting("MusicVolume", i % 101);
        }
        ::usleep(static_cast<useconds_t>(1000 + random() % 20000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        lastWriter = child;
    }
    // Whatever the kills happened to hit, one writer certainly died with its temporary written.
    const std::filesystem::path folder = std::filesystem::path(SettingsFilePath()).parent_path();
    std::ofstream(SettingsFilePath() + ".tmp." + std::to_string(lastWriter)) << "REGEDIT4\n";
    // Files that only look alike are not ours to remove.
    std::ofstream(SettingsFilePath() + ".tmp.notes") << "kept";
    std::ofstream(folder / "other.reg.tmp.12") << "kept";

    SetStringSetting("ConnectIP", "10.0.0.1");
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"settings.reg", "settings.reg.lock",
                                            "settings.reg.tmp.notes", "other.reg.tmp.12"}));
    EXPECT_EQ(GetStringSetting("PlayerName", "lost"), "Stable");
    EXPECT_EQ(GetStringSetting("ConnectIP", "lost"), "10.0.0.1");
    std::filesystem::remove(SettingsFilePath() + ".tmp.notes");
    std::filesystem::remove(folder / "other.reg.tmp.12");
}

TEST_F(Settings, TwoWritingProcessesLoseNeitherValue) {
    GetBoolSetting("FullScreen", true);
    auto writer = [](const char* name) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int i = 0; i < 150; ++i)
                SetIntSetting(name, i);
            ::_exit(0);
        }
        return pid;
    };
    const pid_t a = writer("MusicVolume");
    const pid_t b = writer("SoundEffectVolume");
    int status = 0;
    ::waitpid(a, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::waitpid(b, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(GetIntSetting("MusicVolume", -1), 149);
    EXPECT_EQ(GetIntSetting("SoundEffectVolume", -1), 149);
}

TEST_F(Settings, PathFollowsXdgConfigHome) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    ASSERT_NE(xdg, nullptr);
    EXPECT_EQ(SettingsFilePath(), std::string(xdg) + "/Quillmere/Torvane/settings.reg");
}
