// Screens driven frame by frame: a headless screen engine, scripted keys, mouse and clock, and an
// audio engine whose effects and music are recorded instead of heard.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Directstate.h"
#include "audio/Directaudio.h"
#include "input/Directinput.h"
#include "platform/ScriptedWindow.h"
#include "platform/Settings.h"
#include "screen/Directscreen.h"
#include "support/Settling.h"
#include "support/TestSupport.h"

namespace testsupport {

// What the recording audio pieces were asked.
struct AudioLog {
    std::vector<std::string> plays;  // file names of the effects played, in order
    std::vector<int32_t> musicLevels;
    std::vector<int32_t> effectLevels;
    std::vector<std::string> media;  // files the media player was built for

    int Count(const std::string& fileEnd) const {
        return static_cast<int>(std::count_if(plays.begin(), plays.end(), [&](const auto& p) {
            return p.size() >= fileEnd.size() &&
                   p.compare(p.size() - fileEnd.size(), fileEnd.size(), fileEnd) == 0;
        }));
    }
};

class LoggedSample : public platform::EffectSample {
  public:
    explicit LoggedSample(std::string file) : file(std::move(file)) {}
    std::string file;
};

class LoggedBank : public platform::EffectBank {
  public:
    explicit LoggedBank(AudioLog& log) : log(log) {}
    bool StartSystem() override { return true; }
    bool CreateLoader() override { return true; }
    bool CreateMixer() override { return true; }
    bool OpenOutput(void*, int) override { return true; }
    std::unique_ptr<platform::EffectSample> LoadSample(const std::string& file) override {
        return std::make_unique<LoggedSample>(file);
    }
    bool Download(platform::EffectSample&) override { return true; }
    void Unload(platform::EffectSample&) override {}
    void Play(platform::EffectSample& sample, int) override {
        log.plays.push_back(static_cast<LoggedSample&>(sample).file);
    }
    void SetVolume(int32_t level) override { log.effectLevels.push_back(level); }
    int PlayingCount() const override { return 0; }
    AudioLog& log;
};

class LoggedPlayer : public platform::MediaPlayer {
  public:
    explicit LoggedPlayer(AudioLog& log) : log(log) {}
    bool CreateGraph() override { return true; }
    bool CreateControl() override { return true; }
    bool CreateEvents() override { return true; }
    bool CreateVideoOutput(void*) override { return true; }
    bool RenderFile(const std::string& file) override {
        log.media.push_back(file);
        return true;
    }
    void PlaceVideo(int, int, int, int) override {}
    bool Run() override {
        running = true;
        return true;
    }
    void Pause() override { running = false; }
    void Stop() override { running = false; }
    Completion Poll() override { return running ? Completion::Running : Completion::NotRunning; }
    void SetVolume(int32_t level) override { log.musicLevels.push_back(level); }
    int PicturesShown() const override { return 0; }
    AudioLog& log;
    bool running = false;
};

// Backends that record into `log`.
inline torvane::AudioBackends LoggedBackends(AudioLog& log) {
    torvane::AudioBackends backends;
    backends.createEffectBank = [&log] { return std::make_unique<LoggedBank>(log); };
    backends.createMediaPlayer = [&log] { return std::make_unique<LoggedPlayer>(log); };
    return backends;
}

class FrontendHarness : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearSettings();
        platform::SetBoolSetting("FullScreen", false);
        platform::SetBoolSetting("NoSoundCard", true);
        torvane::DirectInput::ResetClock();
        screen = std::make_unique<torvane::DirectScreen>(&window);
        audio = std::make_unique<torvane::DirectAudio>(&window, LoggedBackends(sounds));
        input = std::make_unique<torvane::DirectInput>(&window);
    }

    // One frame of `ms` milliseconds.
    int32_t Frame(torvane::DirectState& state, int ms = 20) {
        window.AdvanceTime(ms);
        return state.Run();
    }
    // A key (or mouse button) down for one frame, then up for one frame, so the next press is
    // a new one. Answers the first code other than 0.
    int32_t Press(torvane::DirectState& state, int key, int ms = 20) {
        window.SetKeyDown(key, true);
        const int32_t code = Frame(state, ms);
        window.SetKeyDown(key, false);
        const int32_t after = Frame(state, ms);
        return code != 0 ? code : after;
    }
    // Frames until `done` holds or `limit` frames ran; answers the last code.
    int32_t RunUntil(torvane::DirectState& state, const std::function<bool(int32_t)>& done,
                     int limit = 1000, int ms = 20) {
        int32_t code = 0;
        for (int i = 0; i < limit; ++i) {
            code = Frame(state, ms);
            if (done(code))
                break;
        }
        return code;
    }
    // Runs frames of `ms` until `value` reaches `target`, never passing it on the way.
    void ExpectSettlesWithoutOvershoot(torvane::DirectState& state,
                                       const std::function<float()>& value, float target, int ms,
                                       int frames = 12) {
        testsupport::ExpectSettlesWithoutOvershoot([&] { Frame(state, ms); }, value, target,
                                                   frames);
    }
    int32_t RunFrames(torvane::DirectState& state, int count, int ms = 20) {
        int32_t code = 0;
        for (int i = 0; i < count && code == 0; ++i)
            code = Frame(state, ms);
        return code;
    }

    platform::ScriptedWindow window;
    AudioLog sounds;
    std::unique_ptr<torvane::DirectScreen> screen;
    std::unique_ptr<torvane::DirectAudio> audio;
    std::unique_ptr<torvane::DirectInput> input;
};

}  // namespace testsupport
