// Table talk: what counts as a chat line, the pace a player may talk at, the conversation the
// screens show, and lines travelling between real engines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "NetworkTestSupport.h"
#include "network/Chat.h"

using namespace torvane;
using nettest::Player;
using nettest::WaitFor;

namespace {

TEST(ChatLineRules, PrintableWindows1252UpToEightyBytesIsALine) {
    EXPECT_TRUE(
        IsValidChatLine("Bonjour \xE0 tous, l'Arm\xE9"
                        "e fran\xE7"
                        "aise avance !"));
    EXPECT_TRUE(IsValidChatLine(std::string(kMaxChatLine, 'a')));
    EXPECT_TRUE(IsValidChatLine("\x80 \xFF \x9F"));  // euro sign, ÿ, Ÿ

    EXPECT_FALSE(IsValidChatLine(""));
    EXPECT_FALSE(IsValidChatLine(std::string(kMaxChatLine + 1, 'a')));
    for (const char* bad :
         {"a\tb", "a\nb", "\x1B[2J", "a\x7F", "\x81", "\x8D", "\x8F", "\x90", "\x9D"}) {
        EXPECT_FALSE(IsValidChatLine(bad)) << "accepted " << testing::PrintToString(bad);
    }
    EXPECT_FALSE(IsValidChatLine(std::string("a\0b", 3)));
}

TEST(ChatLineRules, WhatWasTypedIsCleanedTrimmedAndCutAfterCleaning) {
    EXPECT_EQ(CleanChatLine("   salut  "), "salut");
    EXPECT_EQ(CleanChatLine("a\tb\x1B"
                            "c\x7F"),
              "abc");
    EXPECT_EQ(CleanChatLine("   \t "), "");
    // Control characters do not count towards the length: eighty letters stay.
    std::string typed;
    for (int i = 0; i < 90; ++i)
        typed += i % 9 == 0 ? "\x01" : "x";
    typed += std::string(10, 'y');
    const std::string line = CleanChatLine(typed);
    EXPECT_EQ(line.size(), kMaxChatLine);
    EXPECT_TRUE(IsValidChatLine(line));
    EXPECT_EQ(line.find('\x01'), std::string::npos);
}

TEST(ChatPaceRules, FiveLinesInAnyTenSecondsPerSenderAndTheSixthWaits) {
    ChatPace pace;
    for (int i = 0; i < kChatBurst; ++i)
        EXPECT_TRUE(pace.Allow(1, 100.0 + i)) << i;
    EXPECT_FALSE(pace.Allow(1, 104.5));
    EXPECT_FALSE(pace.Allow(1, 109.9));
    // Another sender has its own budget.
    EXPECT_TRUE(pace.Allow(2, 109.9));
    // A refused line is not counted: the first line leaves the window at 110.
    EXPECT_TRUE(pace.Allow(1, 110.0));
    EXPECT_FALSE(pace.Allow(1, 110.5));
    EXPECT_TRUE(pace.Allow(1, 111.0));
    // Quiet senders are forgotten.
    EXPECT_EQ(pace.Senders(), 2u);
    EXPECT_TRUE(pace.Allow(3, 200.0));
    EXPECT_EQ(pace.Senders(), 1u);
}

TEST(ChatLogRules, KeepsTheSixNewestLinesEachFadingAfterFifteenSeconds) {
    ChatLog log;
    for (int i = 0; i < 8; ++i) {
        log.Add("Ana", 0xFF0000FF, "ligne " + std::to_string(i));
        log.Advance(1.0f);
    }
    ASSERT_EQ(log.Count(), ChatLog::kLines);
    EXPECT_EQ(log.Added(), 8u);
    EXPECT_EQ(log.At(0).text, "ligne 2");
    EXPECT_EQ(log.At(5).text, "ligne 7");
    EXPECT_EQ(log.At(5).name, "Ana : ");
    EXPECT_EQ(log.At(5).nameColour, 0xFF0000FFu);

    // "ligne 2" is 6 s old, "ligne 7" 1 s.
    log.Advance(ChatLog::kShowSeconds - 6.0f);
    EXPECT_EQ(log.Alpha(0), 1.0f);
    log.Advance(ChatLog::kFadeSeconds / 2);
    EXPECT_NEAR(log.Alpha(0), 0.5f, 0.01f);
    EXPECT_EQ(log.Alpha(5), 1.0f);
    log.Advance(ChatLog::kFadeSeconds);
    EXPECT_EQ(log.Alpha(0), 0.0f);
    // However long the game then runs, a faded line stays faded.
    for (int i = 0; i < 1000; ++i)
        log.Advance(3600.0f);
    EXPECT_EQ(log.Alpha(5), 0.0f);
    EXPECT_EQ(log.Alpha(ChatLog::kLines), 0.0f);

    log.Notice("Trop de messages", 0xFFFF0000);
    EXPECT_EQ(log.At(5).name, "");
    EXPECT_EQ(log.At(5).textColour, 0xFFFF0000u);
    EXPECT_EQ(log.Alpha(5), 1.0f);
}

// A host and two members, all honest engines.
class ChatTest : public testing::Test {
  protected:
    void SetUp() override {
        options.heartbeatMs = 100;
        options.timeoutMs = 3000;
        players.push_back(std::make_unique<Player>("Hote", options));
        ASSERT_TRUE(players[0]->engine->HostGame("Partie"));
        const HostAddress host = nettest::FindGameOf(*players[0]->engine, *players[0]->engine);
        for (const char* name : {"Bea", "Carl"}) {
            players.push_back(std::make_unique<Player>(name, options));
            ASSERT_TRUE(players.back()->engine->JoinGame(host));
        }
        ASSERT_TRUE(WaitFor([&] {
            for (auto& p : players) {
                if (p->engine->PlayerCount() != 3)
                    return false;
            }
            return true;
        }));
    }

    std::vector<DirectPlay*> Engines() {
        std::vector<DirectPlay*> engines;
        for (auto& p : players)
            engines.push_back(p->engine.get());
        return engines;
    }

    bool EveryoneHeard(size_t count) {
        for (auto& p : players) {
            if (p->listener.texts.size() < count)
                return false;
        }
        return true;
    }

    platform::PeerOptions options = nettest::PrivateOptions();
    std::vector<std::unique_ptr<Player>> players;
};

TEST_F(ChatTest, EveryLineReachesEveryPlayerOnceAndInTheOrderItsSenderSaidThem) {
    // Each says three lines, the three of them at once.
    for (int n = 0; n < 3; ++n) {
        for (size_t p = 0; p < players.size(); ++p) {
            const std::string line = players[p]->engine->PlayerName() + " " + std::to_string(n);
            ASSERT_EQ(players[p]->engine->SendChat(line), DirectPlay::ChatSend::Sent);
        }
    }
    ASSERT_TRUE(
        WaitFor([&] { return EveryoneHeard(9); }, std::chrono::milliseconds(5000), Engines()));
    WaitFor([] { return false; }, std::chrono::milliseconds(200), Engines());
    for (auto& hearer : players) {
        const auto& heard = hearer->listener;
        ASSERT_EQ(heard.texts.size(), 9u) << hearer->engine->PlayerName();
        for (auto& speaker : players) {
            std::vector<std::string> said;
            for (size_t i = 0; i < heard.texts.size(); ++i) {
                if (heard.textSenders[i] == speaker->engine->LocalPlayerId())
                    said.push_back(heard.texts[i]);
            }
            const std::string name = speaker->engine->PlayerName();
            EXPECT_EQ(said, (std::vector<std::string>{name + " 0", name + " 1", name + " 2"}))
                << hearer->engine->PlayerName() << " hearing " << name;
        }
        EXPECT_EQ(hearer->engine->Trust().refusedChatLines, 0u);
        EXPECT_EQ(hearer->engine->Trust().droppedChatLines, 0u);
    }
}

TEST_F(ChatTest, ASenderIsHeldBackAfterFiveLinesAndWhatIsNoLineIsNeverSent) {
    DirectPlay& bea = *players[1]->engine;
    EXPECT_EQ(bea.SendChat(""), DirectPlay::ChatSend::Refused);
    EXPECT_EQ(bea.SendChat(std::string(kMaxChatLine + 1, 'x')), DirectPlay::ChatSend::Refused);
    EXPECT_EQ(bea.SendChat("bip\x07"), DirectPlay::ChatSend::Refused);
    for (int i = 0; i < kChatBurst; ++i)
        EXPECT_EQ(bea.SendChat("ligne " + std::to_string(i)), DirectPlay::ChatSend::Sent) << i;
    EXPECT_EQ(bea.SendChat("une de trop"), DirectPlay::ChatSend::TooFast);
    // The others still talk.
    EXPECT_EQ(players[2]->engine->SendChat("moi aussi"), DirectPlay::ChatSend::Sent);

    ASSERT_TRUE(WaitFor([&] { return EveryoneHeard(kChatBurst + 1); },
                        std::chrono::milliseconds(5000), Engines()));
    WaitFor([] { return false; }, std::chrono::milliseconds(200), Engines());
    for (auto& hearer : players) {
        const auto& texts = hearer->listener.texts;
        EXPECT_EQ(texts.size(), static_cast<size_t>(kChatBurst + 1));
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "une de trop"), 0);
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "moi aussi"), 1);
    }
    DirectPlay alone("Seul", options);
    EXPECT_EQ(alone.SendChat("personne"), DirectPlay::ChatSend::NoSession);
}

}  // namespace
