// The SDL_mixer effect bank on the dummy sound device, and the level-to-gain conversion.
#include <gtest/gtest.h>

#include "platform/AudioLevel.h"
#include "platform/EffectBank.h"
#include "support/AudioFixtures.h"

namespace {

using platform::EffectBank;

std::unique_ptr<EffectBank> OpenBank() {
    auto bank = platform::CreateEffectBank();
    if (!bank->StartSystem() || !bank->CreateLoader() || !bank->CreateMixer() ||
        !bank->OpenOutput(nullptr, 4)) {
        return nullptr;
    }
    return bank;
}

TEST(AudioLevel, GainFollowsDecibelsAndNeverAmplifies) {
    EXPECT_DOUBLE_EQ(platform::HundredthsOfDecibelToGain(0), 1.0);
    EXPECT_DOUBLE_EQ(platform::HundredthsOfDecibelToGain(8), 1.0);
    EXPECT_DOUBLE_EQ(platform::HundredthsOfDecibelToGain(100000), 1.0);
    EXPECT_NEAR(platform::HundredthsOfDecibelToGain(-2000), 0.1, 1e-12);
    EXPECT_NEAR(platform::HundredthsOfDecibelToGain(-4000), 0.01, 1e-12);
    EXPECT_NEAR(platform::HundredthsOfDecibelToGain(-602), 0.5, 0.001);
}

TEST(EffectBank, StepsOutOfOrderFail) {
    auto bank = platform::CreateEffectBank();
    EXPECT_FALSE(bank->CreateLoader());
    EXPECT_FALSE(bank->CreateMixer());
    EXPECT_FALSE(bank->OpenOutput(nullptr, 4));
}

TEST(EffectBank, OpensOnTheDummyDevice) {
    auto bank = OpenBank();
    ASSERT_NE(bank, nullptr);
    EXPECT_EQ(bank->PlayingCount(), 0);
}

TEST(EffectBank, TwoPlaysOfOneSampleOverlap) {
    testsupport::TemporaryFolder folder;
    testsupport::WriteToneWav(folder.path / "hit.wav", 2000);
    auto bank = OpenBank();
    ASSERT_NE(bank, nullptr);
    auto sample = bank->LoadSample((folder.path / "hit.wav").string());
    ASSERT_NE(sample, nullptr);
    ASSERT_TRUE(bank->Download(*sample));
    bank->Play(*sample, 1);
    EXPECT_EQ(bank->PlayingCount(), 1);
    bank->Play(*sample, 1);
    EXPECT_EQ(bank->PlayingCount(), 2);
}

TEST(EffectBank, MoreInstancesThanChannelsAllSound) {
    testsupport::TemporaryFolder folder;
    testsupport::WriteToneWav(folder.path / "fill.wav", 2000);
    auto bank = OpenBank();  // four channels
    ASSERT_NE(bank, nullptr);
    auto sample = bank->LoadSample((folder.path / "fill.wav").string());
    ASSERT_NE(sample, nullptr);
    ASSERT_TRUE(bank->Download(*sample));
    for (int i = 0; i < 11; ++i)
        bank->Play(*sample, 0);
    EXPECT_EQ(bank->PlayingCount(), 11);
}

TEST(EffectBank, UnreadableFilesAreNotLoaded) {
    testsupport::TemporaryFolder folder;
    auto bank = OpenBank();
    ASSERT_NE(bank, nullptr);
    EXPECT_EQ(bank->LoadSample((folder.path / "missing.wav").string()), nullptr);
    EXPECT_EQ(bank->LoadSample(folder.path.string()), nullptr);  // a folder
    testsupport::WriteBytes(folder.path / "empty.wav", "");
    EXPECT_EQ(bank->LoadSample((folder.path / "empty.wav").string()), nullptr);
}

TEST(EffectBank, GarbageIsLoadedButNotDownloadedAndNeverPlays) {
    testsupport::TemporaryFolder folder;
    testsupport::WriteBytes(folder.path / "bad.wav", "RIFF\x10\0\0\0WAVEfmt garbage garbage");
    auto bank = OpenBank();
    ASSERT_NE(bank, nullptr);
    auto sample = bank->LoadSample((folder.path / "bad.wav").string());
    ASSERT_NE(sample, nullptr);
    EXPECT_FALSE(bank->Download(*sample));
    bank->Play(*sample, 1);
    EXPECT_EQ(bank->PlayingCount(), 0);
}

TEST(EffectBank, UnloadedSampleIsSilentUntilDownloadedAgain) {
    testsupport::TemporaryFolder folder;
    testsupport::WriteToneWav(folder.path / "hit.wav", 1000);
    auto bank = OpenBank();
    ASSERT_NE(bank, nullptr);
    auto sample = bank->LoadSample((folder.path / "hit.wav").string());
    ASSERT_NE(sample, nullptr);
    ASSERT_TRUE(bank->Download(*sample));
    bank->Play(*sample, 1);
    bank->Unload(*sample);
    EXPECT_EQ(bank->PlayingCount(), 0);  // freeing a sounding sample stops it
    bank->Play(*sample, 1);
    EXPECT_EQ(bank->PlayingCount(), 0);
    ASSERT_TRUE(bank->Download(*sample));
    bank->Play(*sample, 1);
    EXPECT_EQ(bank->PlayingCount(), 1);
}

TEST(EffectBank, SamplesMayOutliveTheirBank) {
    testsupport::TemporaryFolder folder;
    testsupport::WriteToneWav(folder.path / "hit.wav", 1000);
    auto bank = OpenBank();
    ASSERT_NE(bank, nullptr);
    auto sample = bank->LoadSample((folder.path / "hit.wav").string());
    ASSERT_NE(sample, nullptr);
    ASSERT_TRUE(bank->Download(*sample));
    bank->Play(*sample, 0);
    bank.reset();
    sample.reset();  // must not touch the closed device
    // A new bank opens cleanly afterwards.
    auto again = OpenBank();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->PlayingCount(), 0);
}

TEST(EffectBank, SamplesOfAnotherBankAreRefused) {
    testsupport::TemporaryFolder folder;
    testsupport::WriteToneWav(folder.path / "hit.wav", 1000);
    auto first = OpenBank();
    ASSERT_NE(first, nullptr);
    auto sample = first->LoadSample((folder.path / "hit.wav").string());
    ASSERT_NE(sample, nullptr);
    auto second = OpenBank();
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->Download(*sample));
    second->Play(*sample, 1);
    EXPECT_EQ(second->PlayingCount(), 0);
}

}  // namespace
