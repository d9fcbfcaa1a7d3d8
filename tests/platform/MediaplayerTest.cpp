// The GStreamer media player with a null sound sink: running, pausing, completion, bad files,
// and the film's pictures reaching a (headless) window.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/Application.h"
#include "platform/MediaPlayer.h"
#include "support/AudioFixtures.h"

namespace {

using Completion = platform::MediaPlayer::Completion;

std::unique_ptr<platform::MediaPlayer> Build(const std::string& file, void* window = nullptr) {
    auto player = platform::CreateMediaPlayer();
    if (!player->CreateGraph() || !player->CreateControl() || !player->CreateEvents() ||
        !player->CreateVideoOutput(window) || !player->RenderFile(file)) {
        return nullptr;
    }
    player->PlaceVideo(0, 0, platform::kPictureWidth, platform::kPictureHeight);
    return player;
}

// Polls until `player` leaves the running state; a generous bound only guards against a hang.
Completion PollUntilNotRunning(platform::MediaPlayer& player) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    Completion state = player.Poll();
    while (state == Completion::Running && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        state = player.Poll();
    }
    return state;
}

TEST(MediaPlayer, StepsNeedTheGraphFirst) {
    auto player = platform::CreateMediaPlayer();
    EXPECT_FALSE(player->CreateControl());
    EXPECT_FALSE(player->CreateEvents());
    EXPECT_FALSE(player->CreateVideoOutput(nullptr));
    EXPECT_FALSE(player->RenderFile("/nonexistent"));
    EXPECT_FALSE(player->Run());
    EXPECT_EQ(player->Poll(), Completion::NotRunning);
}

TEST(MediaPlayer, ShortWavRunsThenCompletes) {
    testsupport::TemporaryFolder folder;
    testsupport::WriteToneWav(folder.path / "tone.wav", 1000);
    auto player = Build((folder.path / "tone.wav").string());
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->Poll(), Completion::NotRunning);  // prepared, not started
    ASSERT_TRUE(player->Run());
    EXPECT_EQ(player->Poll(), Completion::Running);
    EXPECT_EQ(PollUntilNotRunning(*player), Completion::Completed);
    EXPECT_EQ(player->Poll(), Completion::Completed);  // the end stays reported
}

TEST(MediaPlayer, PauseHoldsAndRunResumes) {
    testsupport::TemporaryFolder folder;
    testsupport::WriteToneWav(folder.path / "tone.wav", 1500);
    auto player = Build((folder.path / "tone.wav").string());
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(player->Run());
    player->Pause();
    EXPECT_EQ(player->Poll(), Completion::NotRunning);
    // Paused for longer than the file lasts: it must not have ended meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(1700));
    EXPECT_EQ(player->Poll(), Completion::NotRunning);
    ASSERT_TRUE(player->Run());
    EXPECT_EQ(player->Poll(), Completion::Running);
    EXPECT_EQ(PollUntilNotRunning(*player), Completion::Completed);
}

TEST(MediaPlayer, StopEndsPlayback) {
    testsupport::TemporaryFolder folder;
    testsupport::WriteToneWav(folder.path / "tone.wav", 3000);
    auto player = Build((folder.path / "tone.wav").string());
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(player->Run());
    player->Stop();
    EXPECT_EQ(player->Poll(), Completion::NotRunning);
}

TEST(MediaPlayer, MissingAndUnplayableFilesAreRefused) {
    testsupport::TemporaryFolder folder;
    EXPECT_EQ(Build((folder.path / "Music.wma").string()), nullptr);
    testsupport::WriteBytes(folder.path / "text.wma", std::string(4096, 'x'));
    EXPECT_EQ(Build((folder.path / "text.wma").string()), nullptr);
    testsupport::WriteBytes(folder.path / "empty.avi", "");
    EXPECT_EQ(Build((folder.path / "empty.avi").string()), nullptr);
    // A truncated film: a valid header cut short.
    std::ifstream in(testsupport::TestDataFolder() / "short.avi", std::ios::binary);
    std::string head(200, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    testsupport::WriteBytes(folder.path / "cut.avi", head);
    auto cut = Build((folder.path / "cut.avi").string());
    if (cut) {
        // Some demuxers accept the header alone; then playback must still end, not hang.
        ASSERT_TRUE(cut->Run());
        EXPECT_NE(PollUntilNotRunning(*cut), Completion::Running);
    }
}

TEST(MediaPlayer, WmaMusicPlaysToItsEnd) {
    auto player = Build((testsupport::TestDataFolder() / "short.wma").string());
    ASSERT_NE(player, nullptr);
    player->SetVolume(-602);
    ASSERT_TRUE(player->Run());
    EXPECT_EQ(player->Poll(), Completion::Running);
    EXPECT_EQ(PollUntilNotRunning(*player), Completion::Completed);
}

TEST(MediaPlayer, AviFilmWithoutWindowPlaysToItsEnd) {
    auto player = Build((testsupport::TestDataFolder() / "short.avi").string());
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(player->Run());
    EXPECT_EQ(PollUntilNotRunning(*player), Completion::Completed);
    EXPECT_EQ(player->PicturesShown(), 0);
}

TEST(MediaPlayer, FilmPicturesAreDrawnIntoTheWindow) {
    platform::Application app;
    auto form = app.CreateForm({});
    ASSERT_NE(form->NativeHandle(), nullptr);
    auto player =
        Build((testsupport::TestDataFolder() / "short.avi").string(), form->NativeHandle());
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(player->Run());
    EXPECT_EQ(PollUntilNotRunning(*player), Completion::Completed);
    EXPECT_GT(player->PicturesShown(), 0);
}

TEST(MediaPlayer, MusicDrawsNothingIntoTheWindow) {
    platform::Application app;
    auto form = app.CreateForm({});
    ASSERT_NE(form->NativeHandle(), nullptr);
    auto player =
        Build((testsupport::TestDataFolder() / "short.wma").string(), form->NativeHandle());
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(player->Run());
    EXPECT_EQ(PollUntilNotRunning(*player), Completion::Completed);
    EXPECT_EQ(player->PicturesShown(), 0);
}

}  // namespace
