// The audio engine against recording platform pieces (what it asks of them, what it stores, what
// it tells the player) and against the real mixer and player with null outputs.
#include "audio/Directaudio.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <cstdlib>
#include <optional>

#include <chrono>
#include <thread>

#include "platform/ScriptedWindow.h"
#include "platform/Settings.h"
#include "support/AudioFixtures.h"
#include "support/TestSupport.h"

namespace {

using platform::MediaPlayer;
using torvane::AudioBackends;
using torvane::DirectAudio;
using Calls = std::vector<std::string>;

const std::string kSystemFailed = "Impossible d'initialiser le syst\xE8me COM.";
const std::string kLoaderFailed =
    "Impossible de cr\xE9"
    "er le Loader.";
const std::string kMixerFailed =
    "Impossible de cr\xE9"
    "er le Performance.";
const std::string kOutputFailed = "Impossible d'initialiser le Performance.";
const std::string kLoadFailed = "Impossible de charger le fichier d'effets sonores.";
const std::string kDownloadFailed =
    "Impossible de t\xE9l\xE9"
    "charger le son vers la carte sonore.";
const std::string kGraphFailed =
    "Impossible d'initialiser les filtres multim\xE9"
    "dias.";
const std::string kControlFailed =
    "Impossible d'initialiser le chargeur de m\xE9"
    "dia.";
const std::string kEventsFailed = "Impossible d'initialiser le gestionnaire d'\xE9v\xE8nements.";
const std::string kNoFilters =
    "Impossible de trouver une combinaison de filtre\r\npermettant de jouer le fichier musical.";
const std::string kRunFailed = "Impossible de jouer le fichier musical.";

// What the recording pieces were asked, in order, and which step should fail.
struct Script {
    Calls calls;
    std::string failing;
    MediaPlayer::Completion completion = MediaPlayer::Completion::Running;
    int players = 0;

    bool Step(const std::string& call, const std::string& name) {
        calls.push_back(call);
        return failing != name;
    }
    void Clear() { calls.clear(); }
};

class RecordingSample : public platform::EffectSample {
  public:
    explicit RecordingSample(Script& script) : script(script) {}
    ~RecordingSample() override { script.calls.push_back("~Sample"); }
    Script& script;
};

class RecordingBank : public platform::EffectBank {
  public:
    explicit RecordingBank(Script& script) : script(script) {}
    ~RecordingBank() override { script.calls.push_back("~Bank"); }
    bool StartSystem() override { return script.Step("StartSystem", "StartSystem"); }
    bool CreateLoader() override { return script.Step("CreateLoader", "CreateLoader"); }
    bool CreateMixer() override { return script.Step("CreateMixer", "CreateMixer"); }
    bool OpenOutput(void* window, int channels) override {
        return script.Step("OpenOutput " + std::to_string(channels), "OpenOutput");
    }
    std::unique_ptr<platform::EffectSample> LoadSample(const std::string& file) override {
        if (!script.Step("LoadSample " + file, "LoadSample"))
            return nullptr;
        return std::make_unique<RecordingSample>(script);
    }
    bool Download(platform::EffectSample&) override { return script.Step("Download", "Download"); }
    void Unload(platform::EffectSample&) override { script.calls.push_back("Unload"); }
    void Play(platform::EffectSample&, int times) override {
        script.calls.push_back("Play " + std::to_string(times));
    }
    void SetVolume(int32_t level) override {
        script.calls.push_back("SetVolume " + std::to_string(level));
    }
    int PlayingCount() const override { return 0; }
    Script& script;
};

class RecordingPlayer : public MediaPlayer {
  public:
    explicit RecordingPlayer(Script& script) : script(script), number(++script.players) {}
    ~RecordingPlayer() override { Record("~Player"); }
    bool CreateGraph() override { return Step("CreateGraph"); }
    bool CreateControl() override { return Step("CreateControl"); }
    bool CreateEvents() override { return Step("CreateEvents"); }
    bool CreateVideoOutput(void* window) override {
        return Step("CreateVideoOutput", window ? " window" : " none");
    }
    bool RenderFile(const std::string& file) override { return Step("RenderFile", " " + file); }
    void PlaceVideo(int x, int y, int width, int height) override {
        Record("PlaceVideo " + std::to_string(x) + " " + std::to_string(y) + " " +
               std::to_string(width) + " " + std::to_string(height));
    }
    bool Run() override { return Step("Run"); }
    void Pause() override { Record("Pause"); }
    void Stop() override { Record("Stop"); }
    Completion Poll() override {
        Record("Poll");
        return script.completion;
    }
    void SetVolume(int32_t level) override { Record("SetVolume " + std::to_string(level)); }
    int PicturesShown() const override { return 0; }

    void Record(const std::string& call) { script.calls.push_back(call + "#" + Number()); }
    bool Step(const std::string& name, const std::string& detail = "") {
        return script.Step(name + detail + "#" + Number(), name);
    }
    std::string Number() const { return std::to_string(number); }
    Script& script;
    int number;
};

class DirectAudioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testsupport::ClearSettings();
        if (const char* previous = std::getenv("TORVANE_RESOURCES"))
            previousResources = previous;
        ::setenv("TORVANE_RESOURCES", resources.path.c_str(), 1);
    }
    // The other tests of this program read the real resources.
    void TearDown() override {
        if (previousResources)
            ::setenv("TORVANE_RESOURCES", previousResources->c_str(), 1);
        else
            ::unsetenv("TORVANE_RESOURCES");
    }
    std::optional<std::string> previousResources;

    AudioBackends Recording() {
        AudioBackends backends;
        backends.createEffectBank = [this] {
            script.calls.push_back("CreateBank");
            return std::make_unique<RecordingBank>(script);
        };
        backends.createMediaPlayer = [this] {
            script.calls.push_back("CreatePlayer");
            return std::make_unique<RecordingPlayer>(script);
        };
        return backends;
    }

    std::unique_ptr<DirectAudio> Engine() {
        auto engine = std::make_unique<DirectAudio>(&window, Recording());
        script.Clear();
        return engine;
    }

    std::string Resource(const std::string& relative) {
        return (resources.path / relative).string();
    }

    static int32_t Stored(const std::string& name) { return platform::GetIntSetting(name, -999); }

    testsupport::TemporaryFolder resources;
    testsupport::ErrorBoxes boxes;
    platform::ScriptedWindow window;
    Script script;
};

// --- The volume scale ---------------------------------------------------------------------

TEST(VolumeScale, LogarithmicInHundredthsOfDecibel) {
    EXPECT_EQ(torvane::VolumeToHundredthsOfDecibel(0), -4000);
    EXPECT_EQ(torvane::VolumeToHundredthsOfDecibel(9), -2000);
    EXPECT_EQ(torvane::VolumeToHundredthsOfDecibel(49), -602);
    EXPECT_EQ(torvane::VolumeToHundredthsOfDecibel(88), -101);
    EXPECT_EQ(torvane::VolumeToHundredthsOfDecibel(89), -91);
    EXPECT_EQ(torvane::VolumeToHundredthsOfDecibel(99), 0);
    EXPECT_EQ(torvane::VolumeToHundredthsOfDecibel(100), 8);
    // Truncation toward zero, not rounding: 1 is -3397.94...
    EXPECT_EQ(torvane::VolumeToHundredthsOfDecibel(1), -3397);
}

TEST(VolumeScale, OutOfRangeVolumesAreClampedNotUndefined) {
    EXPECT_EQ(torvane::VolumeToHundredthsOfDecibel(-7), -4000);
    EXPECT_EQ(torvane::VolumeToHundredthsOfDecibel(250), 8);
}

// --- The sound switch ---------------------------------------------------------------------

TEST_F(DirectAudioTest, SoundOffMakesNoPlatformCallAndStoresNothing) {
    platform::SetBoolSetting("NoSoundCard", false);
    DirectAudio audio(&window, Recording());
    EXPECT_FALSE(DirectAudio::SoundEnabled());
    testsupport::WriteToneWav(Resource("Sounds/hit.wav"), 100);

    EXPECT_EQ(audio.LoadSound("..\\Ressources\\Sounds\\hit.wav"), nullptr);
    audio.Play(nullptr, 1);
    audio.SetEffectVolume(nullptr, 40, false);
    audio.PlayMedia("..\\Ressources\\Music\\Music.wma");
    EXPECT_FALSE(audio.IsMediaRunning());
    audio.TogglePause();
    audio.SetMusicVolume(30, false);
    audio.StopMedia();

    EXPECT_EQ(script.calls, Calls{});
    EXPECT_EQ(boxes.texts, std::vector<std::string>{});
    EXPECT_EQ(Stored("SoundEffectVolume"), -999);
    EXPECT_EQ(Stored("MusicVolume"), -999);
}

TEST_F(DirectAudioTest, AbsentSwitchMeansSoundOnAndTheBankIsBuiltInOrder) {
    DirectAudio audio(&window, Recording());
    EXPECT_TRUE(DirectAudio::SoundEnabled());
    EXPECT_EQ(script.calls,
              (Calls{"CreateBank", "StartSystem", "CreateLoader", "CreateMixer", "OpenOutput 64"}));
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(DirectAudioTest, TheSwitchIsReadAgainByEveryNewEngine) {
    platform::SetBoolSetting("NoSoundCard", false);
    { DirectAudio off(&window, Recording()); }
    EXPECT_FALSE(DirectAudio::SoundEnabled());
    platform::SetBoolSetting("NoSoundCard", true);
    DirectAudio on(&window, Recording());
    EXPECT_TRUE(DirectAudio::SoundEnabled());
}

// --- Construction failures ----------------------------------------------------------------

struct SetupFailure {
    std::string step;
    std::string message;
    size_t callsBeforeRelease;  // the bank calls made, the failing one included
};

void PrintTo(const SetupFailure& failure, std::ostream* out) {
    *out << failure.step;
}

class SetupFailureTest : public DirectAudioTest,
                         public ::testing::WithParamInterface<SetupFailure> {};

TEST_P(SetupFailureTest, ShowsItsMessageOnceAndEffectsBehaveAsOff) {
    script.failing = GetParam().step;
    DirectAudio audio(&window, Recording());
    EXPECT_EQ(boxes.texts, std::vector<std::string>{GetParam().message});
    // The half-built bank is released at once; no later step was tried.
    ASSERT_EQ(script.calls.size(), GetParam().callsBeforeRelease + 2);
    EXPECT_EQ(script.calls.back(), "~Bank");

    script.Clear();
    testsupport::WriteToneWav(Resource("Sounds/hit.wav"), 100);
    EXPECT_EQ(audio.LoadSound("..\\Ressources\\Sounds\\hit.wav"), nullptr);
    audio.SetEffectVolume(nullptr, 40, false);
    EXPECT_EQ(audio.PlayingEffects(), 0);
    EXPECT_EQ(script.calls, Calls{});
    EXPECT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(Stored("SoundEffectVolume"), 40);  // the choice is still kept for next time
}

TEST_P(SetupFailureTest, MusicDoesNotNeedTheEffectBank) {
    script.failing = GetParam().step;
    DirectAudio audio(&window, Recording());
    script.Clear();
    audio.PlayMedia("..\\Ressources\\Music\\Music.wma");
    EXPECT_TRUE(audio.IsMediaRunning());
    EXPECT_EQ(boxes.texts.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EachStep, SetupFailureTest,
                         ::testing::Values(SetupFailure{"StartSystem", kSystemFailed, 1},
                                           SetupFailure{"CreateLoader", kLoaderFailed, 2},
                                           SetupFailure{"CreateMixer", kMixerFailed, 3},
                                           SetupFailure{"OpenOutput", kOutputFailed, 4}),
                         [](const auto& info) { return info.param.step; });

TEST_F(DirectAudioTest, NoEffectBankAtAllIsReportedAsTheFirstStep) {
    AudioBackends backends = Recording();
    backends.createEffectBank = [] { return std::unique_ptr<platform::EffectBank>(); };
    DirectAudio audio(&window, backends);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{kSystemFailed});
    EXPECT_EQ(audio.LoadSound("..\\Ressources\\Sounds\\hit.wav"), nullptr);
}

// --- Effects ------------------------------------------------------------------------------

TEST_F(DirectAudioTest, LoadResolvesThePathAndAppliesTheStoredVolume) {
    testsupport::WriteToneWav(Resource("Sounds/Pays/France.wav"), 100);
    auto audio = Engine();
    auto effect = audio->LoadSound("..\\Ressources\\SOUNDS\\pays\\france.WAV");
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(script.calls, (Calls{"LoadSample " + Resource("Sounds/Pays/France.wav"), "Download",
                                   "SetVolume 8"}));
    EXPECT_EQ(Stored("SoundEffectVolume"), 100);  // the default is written back
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(DirectAudioTest, StoredEffectVolumeIsClampedAndWrittenBackByTheNextLoad) {
    auto audio = Engine();
    platform::SetIntSetting("SoundEffectVolume", 250);
    auto first = audio->LoadSound("..\\Ressources\\Sounds\\hit.wav");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Stored("SoundEffectVolume"), 100);
    EXPECT_EQ(script.calls.back(), "SetVolume 8");

    platform::SetIntSetting("SoundEffectVolume", -7);
    auto second = audio->LoadSound("..\\Ressources\\Sounds\\hit.wav");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Stored("SoundEffectVolume"), 0);
    EXPECT_EQ(script.calls.back(), "SetVolume -4000");
}

TEST_F(DirectAudioTest, UnreadableEffectReportsTheLoadOnce) {
    auto audio = Engine();
    script.failing = "LoadSample";
    EXPECT_EQ(audio->LoadSound("..\\Ressources\\Sounds\\missing.wav"), nullptr);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{kLoadFailed});
    EXPECT_EQ(Stored("SoundEffectVolume"), -999);
}

TEST_F(DirectAudioTest, UndecodableEffectReportsTheDownloadOnceAndFreesTheSample) {
    auto audio = Engine();
    script.failing = "Download";
    EXPECT_EQ(audio->LoadSound("..\\Ressources\\Sounds\\hit.wav"), nullptr);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{kDownloadFailed});
    ASSERT_GE(script.calls.size(), 2u);
    EXPECT_EQ(script.calls.back(), "~Sample");
    EXPECT_EQ(std::count(script.calls.begin(), script.calls.end(), "Unload"), 0);
}

TEST_F(DirectAudioTest, PlayPassesTheRepeatCountAndIgnoresNull) {
    auto audio = Engine();
    auto effect = audio->LoadSound("..\\Ressources\\Sounds\\hit.wav");
    ASSERT_NE(effect, nullptr);
    script.Clear();
    audio->Play(effect.get(), 1);
    audio->Play(effect.get(), 1);
    audio->Play(effect.get(), 0);
    audio->Play(effect.get(), -3);
    audio->Play(nullptr, 1);
    EXPECT_EQ(script.calls, (Calls{"Play 1", "Play 1", "Play 0", "Play -3"}));
}

TEST_F(DirectAudioTest, EffectVolumeClampsStoresUnlessKeptAndReachesTheBank) {
    auto audio = Engine();
    auto effect = audio->LoadSound("..\\Ressources\\Sounds\\hit.wav");
    ASSERT_NE(effect, nullptr);
    script.Clear();
    audio->SetEffectVolume(effect.get(), 49, false);
    EXPECT_EQ(Stored("SoundEffectVolume"), 49);
    audio->SetEffectVolume(effect.get(), 9, true);
    EXPECT_EQ(Stored("SoundEffectVolume"), 49);
    audio->SetEffectVolume(effect.get(), 300, false);
    EXPECT_EQ(Stored("SoundEffectVolume"), 100);
    audio->SetEffectVolume(effect.get(), -5, false);
    EXPECT_EQ(Stored("SoundEffectVolume"), 0);
    platform::SetIntSetting("SoundEffectVolume", 99);
    audio->SetEffectVolume(nullptr, -1, false);
    EXPECT_EQ(script.calls, (Calls{"SetVolume -602", "SetVolume -2000", "SetVolume 8",
                                   "SetVolume -4000", "SetVolume 0"}));
}

TEST_F(DirectAudioTest, DestroyingAnEffectUnloadsIt) {
    auto audio = Engine();
    auto effect = audio->LoadSound("..\\Ressources\\Sounds\\hit.wav");
    ASSERT_NE(effect, nullptr);
    script.Clear();
    effect.reset();
    EXPECT_EQ(script.calls, (Calls{"Unload", "~Sample"}));
}

TEST_F(DirectAudioTest, AnEffectKeptPastTheEngineIsReleasedSafely) {
    auto audio = Engine();
    auto effect = audio->LoadSound("..\\Ressources\\Sounds\\hit.wav");
    ASSERT_NE(effect, nullptr);
    audio.reset();
    script.Clear();
    effect.reset();
    EXPECT_EQ(script.calls, Calls{"~Sample"});
}

// --- Media --------------------------------------------------------------------------------

TEST_F(DirectAudioTest, PlayMediaBuildsPlacesSetsTheStoredVolumeThenRuns) {
    auto audio = Engine();
    platform::SetIntSetting("MusicVolume", 150);
    audio->PlayMedia("..\\Ressources\\Music\\Music.wma");
    EXPECT_EQ(script.calls,
              (Calls{"CreatePlayer", "CreateGraph#1", "CreateControl#1", "CreateEvents#1",
                     "CreateVideoOutput none#1", "RenderFile " + Resource("Music/Music.wma") + "#1",
                     "PlaceVideo 0 0 640 480#1", "SetVolume 8#1", "Run#1"}));
    EXPECT_EQ(Stored("MusicVolume"), 100);
    EXPECT_TRUE(boxes.texts.empty());
}

struct MediaFailure {
    std::string step;
    std::string message;
};

void PrintTo(const MediaFailure& failure, std::ostream* out) {
    *out << failure.step;
}

class MediaFailureTest : public DirectAudioTest,
                         public ::testing::WithParamInterface<MediaFailure> {};

TEST_P(MediaFailureTest, ShowsItsMessageOnceAndLeavesNoGraph) {
    auto audio = Engine();
    script.failing = GetParam().step;
    audio->PlayMedia("..\\Ressources\\Videos\\Quillmere.avi");
    EXPECT_EQ(boxes.texts, std::vector<std::string>{GetParam().message});
    EXPECT_EQ(script.calls.back(), "~Player#1");
    // Only a built graph gets the stored volume (and writes it back).
    if (GetParam().step == "Run") {
        EXPECT_EQ(Stored("MusicVolume"), 100);
    } else {
        EXPECT_EQ(Stored("MusicVolume"), -999);
    }

    script.Clear();
    EXPECT_FALSE(audio->IsMediaRunning());
    audio->TogglePause();
    audio->SetMusicVolume(20, false);
    audio->StopMedia();
    EXPECT_EQ(script.calls, Calls{});
    EXPECT_EQ(boxes.texts.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EachStep, MediaFailureTest,
                         ::testing::Values(MediaFailure{"CreateGraph", kGraphFailed},
                                           MediaFailure{"CreateControl", kControlFailed},
                                           MediaFailure{"CreateEvents", kEventsFailed},
                                           MediaFailure{"CreateVideoOutput", kNoFilters},
                                           MediaFailure{"RenderFile", kNoFilters},
                                           MediaFailure{"Run", kRunFailed}),
                         [](const auto& info) { return info.param.step; });

TEST_F(DirectAudioTest, NoPlayerAtAllIsReportedAsTheFirstStep) {
    AudioBackends backends = Recording();
    backends.createMediaPlayer = [] { return std::unique_ptr<MediaPlayer>(); };
    DirectAudio audio(&window, backends);
    audio.PlayMedia("..\\Ressources\\Music\\Music.wma");
    EXPECT_EQ(boxes.texts, std::vector<std::string>{kGraphFailed});
    EXPECT_FALSE(audio.IsMediaRunning());
}

TEST_F(DirectAudioTest, ASecondFileReleasesTheFirstBeforeBuilding) {
    auto audio = Engine();
    audio->PlayMedia("..\\Ressources\\Music\\Music.wma");
    script.Clear();
    audio->PlayMedia("..\\Ressources\\Videos\\Quillmere.avi");
    ASSERT_GE(script.calls.size(), 3u);
    EXPECT_EQ(script.calls[0], "~Player#1");  // released, not stopped first
    EXPECT_EQ(script.calls[1], "CreatePlayer");
    EXPECT_EQ(script.calls[2], "CreateGraph#2");
    script.Clear();
    audio->StopMedia();
    EXPECT_EQ(script.calls, (Calls{"Stop#2", "~Player#2"}));
}

TEST_F(DirectAudioTest, RunningMeansPlayingAndNotYetAtTheEnd) {
    auto audio = Engine();
    audio->PlayMedia("..\\Ressources\\Music\\Music.wma");
    script.completion = MediaPlayer::Completion::Running;
    EXPECT_TRUE(audio->IsMediaRunning());
    script.completion = MediaPlayer::Completion::Completed;
    EXPECT_FALSE(audio->IsMediaRunning());
    script.completion = MediaPlayer::Completion::NotRunning;
    EXPECT_FALSE(audio->IsMediaRunning());
    script.completion = MediaPlayer::Completion::Failed;
    EXPECT_FALSE(audio->IsMediaRunning());
}

TEST_F(DirectAudioTest, TogglePauseAlternatesAndANewFileStartsUnpaused) {
    auto audio = Engine();
    audio->PlayMedia("..\\Ressources\\Music\\Music.wma");
    script.Clear();
    audio->TogglePause();
    audio->TogglePause();
    audio->TogglePause();
    EXPECT_EQ(script.calls, (Calls{"Pause#1", "Run#1", "Pause#1"}));
    audio->PlayMedia("..\\Ressources\\Music\\Music.wma");
    script.Clear();
    audio->TogglePause();
    EXPECT_EQ(script.calls, Calls{"Pause#2"});
}

TEST_F(DirectAudioTest, MusicVolumeNeedsAGraph) {
    auto audio = Engine();
    audio->SetMusicVolume(40, false);
    EXPECT_EQ(Stored("MusicVolume"), -999);
    audio->PlayMedia("..\\Ressources\\Music\\Music.wma");
    script.Clear();
    audio->SetMusicVolume(49, false);
    audio->SetMusicVolume(0, true);
    EXPECT_EQ(script.calls, (Calls{"SetVolume -602#1", "SetVolume -4000#1"}));
    EXPECT_EQ(Stored("MusicVolume"), 49);
}

TEST_F(DirectAudioTest, DestructionReleasesTheMediaBeforeTheEffects) {
    auto audio = Engine();
    audio->PlayMedia("..\\Ressources\\Music\\Music.wma");
    script.Clear();
    audio.reset();
    EXPECT_EQ(script.calls, (Calls{"~Player#1", "~Bank"}));  // released without a stop
}

TEST_F(DirectAudioTest, TheWindowIsGivenToThePictureOutput) {
    struct NativeWindow : platform::ScriptedWindow {
        void* NativeHandle() const override { return const_cast<NativeWindow*>(this); }
    } native;
    DirectAudio audio(&native, Recording());
    script.Clear();
    audio.PlayMedia("..\\Ressources\\Videos\\Quillmere.avi");
    EXPECT_NE(std::find(script.calls.begin(), script.calls.end(), "CreateVideoOutput window#1"),
              script.calls.end());
}

// --- The real mixer and player, with null outputs ----------------------------------------

bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST_F(DirectAudioTest, RealMediaRunsWhilePlayingAndNotAfterItsEnd) {
    testsupport::WriteToneWav(Resource("Music/Music.wav"), 800);
    DirectAudio audio(&window);
    audio.PlayMedia("..\\Ressources\\Music\\Music.wav");
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_TRUE(audio.IsMediaRunning());
    EXPECT_TRUE(WaitFor([&] { return !audio.IsMediaRunning(); }));
    EXPECT_FALSE(audio.IsMediaRunning());
}

TEST_F(DirectAudioTest, RealMediaPausesAndResumesLikeTheWindowAsks) {
    testsupport::WriteToneWav(Resource("Music/Music.wav"), 1200);
    DirectAudio audio(&window);
    audio.PlayMedia("..\\Ressources\\Music\\Music.wav");
    ASSERT_TRUE(audio.IsMediaRunning());
    // Deactivation: running, so pause.
    audio.TogglePause();
    EXPECT_FALSE(audio.IsMediaRunning());
    std::this_thread::sleep_for(std::chrono::milliseconds(1400));
    // Activation: not running, so resume; it had not reached its end meanwhile.
    audio.TogglePause();
    EXPECT_TRUE(audio.IsMediaRunning());
    EXPECT_TRUE(WaitFor([&] { return !audio.IsMediaRunning(); }));
}

TEST_F(DirectAudioTest, RealMissingMusicGivesOneMessageAndSilence) {
    DirectAudio audio(&window);
    audio.PlayMedia("..\\Ressources\\Music\\Music.wma");
    EXPECT_EQ(boxes.texts, std::vector<std::string>{kNoFilters});
    EXPECT_FALSE(audio.IsMediaRunning());
    audio.TogglePause();
    EXPECT_FALSE(audio.IsMediaRunning());
    EXPECT_EQ(boxes.texts.size(), 1u);
}

TEST_F(DirectAudioTest, RealWmaAndAviPlay) {
    std::filesystem::create_directories(resources.path / "Music");
    std::filesystem::create_directories(resources.path / "Videos");
    std::filesystem::copy_file(testsupport::TestDataFolder() / "short.wma",
                               resources.path / "Music" / "Music.wma");
    std::filesystem::copy_file(testsupport::TestDataFolder() / "short.avi",
                               resources.path / "Videos" / "Quillmere.avi");
    DirectAudio audio(&window);
    audio.PlayMedia("..\\Ressources\\Music\\Music.wma");
    EXPECT_TRUE(audio.IsMediaRunning());
    audio.PlayMedia("..\\Ressources\\Videos\\Quillmere.avi");
    EXPECT_TRUE(audio.IsMediaRunning());
    EXPECT_TRUE(WaitFor([&] { return !audio.IsMediaRunning(); }));
    audio.StopMedia();
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(DirectAudioTest, RealEffectPlayedTwiceSoundsTwice) {
    testsupport::WriteToneWav(Resource("Sounds/hit.wav"), 1500);
    DirectAudio audio(&window);
    ASSERT_TRUE(boxes.texts.empty());
    auto hit = audio.LoadSound("..\\Ressources\\Sounds\\hit.wav");
    ASSERT_NE(hit, nullptr);
    audio.Play(hit.get(), 1);
    audio.Play(hit.get(), 1);
    EXPECT_EQ(audio.PlayingEffects(), 2);
    hit.reset();
    EXPECT_EQ(audio.PlayingEffects(), 0);
}

TEST_F(DirectAudioTest, RealBrokenEffectFileGivesTheDownloadMessage) {
    testsupport::WriteBytes(Resource("Sounds/Failed.wav"), "this is not a wave file at all");
    DirectAudio audio(&window);
    EXPECT_EQ(audio.LoadSound("..\\Ressources\\Sounds\\Failed.wav"), nullptr);
    EXPECT_EQ(audio.LoadSound("..\\Ressources\\Sounds\\Search.wav"), nullptr);
    EXPECT_EQ(boxes.texts, (std::vector<std::string>{kDownloadFailed, kLoadFailed}));
}

}  // namespace
