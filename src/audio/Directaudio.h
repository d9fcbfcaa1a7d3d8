// The audio engine: one streamed music or film file at a time, and the bank of sound effects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/EffectBank.h"
#include "platform/MediaPlayer.h"
#include "platform/Window.h"

namespace torvane {

// Game volume 0..100 to the mixers' level: truncate(2000 x log10((volume + 1) / 100)) hundredths
// of a decibel, so 0 is -40 dB, 99 is unity and 100 slightly above it.
int32_t VolumeToHundredthsOfDecibel(int volume);

// Where the engine gets its platform pieces. The default is the real mixer and player; tests
// hand in recording ones.
struct AudioBackends {
    std::function<std::unique_ptr<platform::EffectBank>()> createEffectBank;
    std::function<std::unique_ptr<platform::MediaPlayer>()> createMediaPlayer;

    static AudioBackends Platform();
};

class DirectAudio;

// One loaded sound, owned by the screen that loaded it; destroying it unloads it.
class SoundEffect {
  public:
    ~SoundEffect();
    SoundEffect(const SoundEffect&) = delete;
    SoundEffect& operator=(const SoundEffect&) = delete;

  private:
    friend class DirectAudio;
    SoundEffect() = default;

    std::unique_ptr<platform::EffectSample> segment;
    // The bank the sound was prepared for; empty until that succeeded. Not owned: a sound kept
    // past the engine's end is simply released.
    std::weak_ptr<platform::EffectBank> performance;
};

class DirectAudio {
  public:
    explicit DirectAudio(platform::Window* window);
    DirectAudio(platform::Window* window, AudioBackends backends);
    ~DirectAudio();
    DirectAudio(const DirectAudio&) = delete;
    DirectAudio& operator=(const DirectAudio&) = delete;

    // Sound effects. LoadSound answers null when sound is off or the file cannot be used.
    std::unique_ptr<SoundEffect> LoadSound(const std::string& path);
    // Starts one more instance of `effect`, `repeats` times in a row (endless when 0 or less).
    void Play(SoundEffect* effect, int repeats);
    // Volume of every effect: 0..100, or -1 for the stored "SoundEffectVolume".
    void SetEffectVolume(SoundEffect* effect, int volume, bool keepSetting);

    // Music and film: one file at a time.
    void PlayMedia(const std::string& path);
    void StopMedia();
    bool IsMediaRunning();
    void TogglePause();
    // Volume of the music: 0..100, or -1 for the stored "MusicVolume".
    void SetMusicVolume(int volume, bool keepSetting);

    // The process-wide sound switch ("NoSoundCard", true = on), read when an engine is built.
    static bool SoundEnabled();

    // How many effect instances are sounding now.
    int PlayingEffects() const;

  private:
    platform::Window* window;
    AudioBackends backends;

    // Present only when every set-up step succeeded.
    std::shared_ptr<platform::EffectBank> performance;

    // The current music or film, built whole or not at all.
    std::unique_ptr<platform::MediaPlayer> graph;
    bool paused = false;
};

}  // namespace torvane
