// Windows-1252 conversion and resource path resolution.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/Cp1252.h"
#include "platform/PeerSession.h"
#include "platform/ResourcePath.h"

using namespace platform;

TEST(Cp1252, RoundTripsEveryDefinedByte) {
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        if (Cp1252ToCodePoint(static_cast<uint8_t>(b)) == 0xFFFD)
            continue;
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), one) << b;
    }
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(Cp1252ToUtf8("Cr\xE9"
                           "dits"),
              "Cr\xC3\xA9"
              "dits");
}

TEST(Cp1252, MalformedUtf8ReadsAsQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");       // cut sequence at the end
    EXPECT_EQ(Utf8ToCp1252("\xC3\x28x"), "?(x");  // bad continuation
    EXPECT_EQ(Utf8ToCp1252("\xFF\xFE"), "??");
    EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80!"), "?!");  // no 1252 form
}

class Resources : public testing::Test {
  protected:
    void SetUp() override {
        root_ =
            std::filesystem::temp_directory_path() / ("torvane-res-" + std::to_string(::getpid()));
        std::filesystem::create_directories(root_ / "Graphics" / "Statistiques");
        std::ofstream(root_ / "Graphics" / "Statistiques" / "Up.png") << "x";
        const char* old = std::getenv("TORVANE_RESOURCES");
        if (old)
            saved_ = old;
        ::setenv("TORVANE_RESOURCES", root_.c_str(), 1);
    }
    void TearDown() override {
        if (saved_.empty()) {
            ::unsetenv("TORVANE_RESOURCES");
        } else {
            ::setenv("TORVANE_RESOURCES", saved_.c_str(), 1);
        }
        std::filesystem::remove_all(root_);
    }
    std::filesystem::path root_;
    std::string saved_;
};

TEST_F(Resources, ComponentsMatchWithoutRegardToCase) {
    EXPECT_EQ(ResourceRoot(), root_.string());
    const std::string expected = (root_ / "Graphics" / "Statistiques" / "Up.png").string();
    EXPECT_EQ(ResolveResource("..\\Ressources\\GRaphics\\Statistiques\\Up.png"), expected);
    EXPECT_EQ(ResolveResource("..\\Ressources\\graphics\\STATISTIQUES\\up.PNG"), expected);
    EXPECT_EQ(ResolveResource("../Ressources/Graphics/Statistiques/Up.png"), expected);
}

TEST_F(Resources, MissingFilesResolveToTheWrittenPath) {
    EXPECT_EQ(ResolveResource("..\\Ressources\\Graphics\\Fond\\Nothing.png"),
              (root_ / "Graphics" / "Fond" / "Nothing.png").string());
    EXPECT_FALSE(std::filesystem::exists(ResolveResource("..\\Ressources\\Sounds\\hit.wav")));
}

TEST(PeerEnvironment, PortsAndSearchScopeComeFromTheEnvironment) {
    ::setenv("TORVANE_SEARCH", "local", 1);
    ::setenv("TORVANE_PORT", "40000", 1);
    ::setenv("TORVANE_DISCOVERY_PORT", "41000", 1);
    platform::PeerOptions options = platform::PeerOptionsFromEnvironment();
    EXPECT_FALSE(options.broadcastSearch);
    EXPECT_EQ(options.basePort, 40000);
    EXPECT_EQ(options.lastPort, 40098);
    EXPECT_EQ(options.discoveryPort, 41000);
    // Anything but a port number leaves the defaults.
    ::setenv("TORVANE_SEARCH", "everywhere", 1);
    ::setenv("TORVANE_PORT", "80", 1);
    ::setenv("TORVANE_DISCOVERY_PORT", "6000x", 1);
    options = platform::PeerOptionsFromEnvironment();
    EXPECT_TRUE(options.broadcastSearch);
    EXPECT_EQ(options.basePort, 2302);
    EXPECT_EQ(options.discoveryPort, platform::PeerOptions{}.discoveryPort);
    // Router port mapping: on for a real game, off with a local search, and whatever
    // TORVANE_PORTMAP says over both.
    EXPECT_TRUE(options.portMapping);
    EXPECT_FALSE(platform::PeerOptions{}.portMapping);
    ::setenv("TORVANE_SEARCH", "local", 1);
    EXPECT_FALSE(platform::PeerOptionsFromEnvironment().portMapping);
    ::setenv("TORVANE_PORTMAP", "1", 1);
    EXPECT_TRUE(platform::PeerOptionsFromEnvironment().portMapping);
    ::setenv("TORVANE_SEARCH", "everywhere", 1);
    ::setenv("TORVANE_PORTMAP", "0", 1);
    EXPECT_FALSE(platform::PeerOptionsFromEnvironment().portMapping);
    ::setenv("TORVANE_PORTMAP", "yes", 1);
    EXPECT_TRUE(platform::PeerOptionsFromEnvironment().portMapping);
    ::unsetenv("TORVANE_PORTMAP");
    ::setenv("TORVANE_SEARCH", "local", 1);
    ::unsetenv("TORVANE_PORT");
    ::unsetenv("TORVANE_DISCOVERY_PORT");
}
