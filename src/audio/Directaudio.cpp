// The audio engine: one streamed music or film file at a time, and the bank of sound effects.
#include "audio/Directaudio.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "platform/MessageBox.h"
#include "platform/ResourcePath.h"
#include "platform/Settings.h"

namespace torvane {
namespace {

// Player-facing texts, Windows-1252.
constexpr const char* kSystemFailed = "Impossible d'initialiser le syst\xE8me COM.";
constexpr const char* kLoaderFailed =
    "Impossible de cr\xE9"
    "er le Loader.";
constexpr const char* kMixerFailed =
    "Impossible de cr\xE9"
    "er le Performance.";
constexpr const char* kOutputFailed = "Impossible d'initialiser le Performance.";
constexpr const char* kLoadFailed = "Impossible de charger le fichier d'effets sonores.";
constexpr const char* kDownloadFailed =
    "Impossible de t\xE9l\xE9"
    "charger le son vers la carte sonore.";
constexpr const char* kGraphFailed =
    "Impossible d'initialiser les filtres multim\xE9"
    "dias.";
constexpr const char* kControlFailed =
    "Impossible d'initialiser le chargeur de m\xE9"
    "dia.";
constexpr const char* kEventsFailed =
    "Impossible d'initialiser le gestionnaire d'\xE9v\xE8nements.";
constexpr const char* kNoFilters =
    "Impossible de trouver une combinaison de filtre\r\npermettant de jouer le fichier musical.";
constexpr const char* kRunFailed = "Impossible de jouer le fichier musical.";

constexpr int kEffectChannels = 64;

std::atomic<bool> soundEnabled{true};

int ResolveVolume(int volume, const char* setting, bool keepSetting) {
    if (volume == -1)
        volume = platform::GetIntSetting(setting, 100);
    volume = std::clamp(volume, 0, 100);
    if (!keepSetting)
        platform::SetIntSetting(setting, volume);
    return volume;
}

}  // namespace

int32_t VolumeToHundredthsOfDecibel(int volume) {
    // log10(v + 1) - 2 rather than log10((v + 1) / 100): whole powers of ten stay exact, so
    // 9 gives exactly -2000 and 99 exactly 0.
    const double level = std::clamp(volume, 0, 100) + 1.0;
    return static_cast<int32_t>(2000.0 * (std::log10(level) - 2.0));
}

AudioBackends AudioBackends::Platform() {
    return {platform::CreateEffectBank, platform::CreateMediaPlayer};
}

SoundEffect::~SoundEffect() {
    if (!DirectAudio::SoundEnabled() || !segment)
        return;
    if (auto bank = performance.lock())
        bank->Unload(*segment);
}

DirectAudio::DirectAudio(platform::Window* window)
    : DirectAudio(window, AudioBackends::Platform()) {}

DirectAudio::DirectAudio(platform::Window* window, AudioBackends backends)
    : window(window), backends(std::move(backends)) {
    soundEnabled = platform::GetBoolSetting("NoSoundCard", true);
    if (!soundEnabled)
        return;

    std::unique_ptr<platform::EffectBank> bank =
        this->backends.createEffectBank ? this->backends.createEffectBank() : nullptr;
    if (!bank || !bank->StartSystem()) {
        platform::ShowErrorBox(kSystemFailed);
        return;
    }
    if (!bank->CreateLoader()) {
        platform::ShowErrorBox(kLoaderFailed);
        return;
    }
    if (!bank->CreateMixer()) {
        platform::ShowErrorBox(kMixerFailed);
        return;
    }
    if (!bank->OpenOutput(window ? window->NativeHandle() : nullptr, kEffectChannels)) {
        platform::ShowErrorBox(kOutputFailed);
        return;
    }
    performance = std::move(bank);
}

DirectAudio::~DirectAudio() {
    // Releasing the player ends playback; effects go after it, as they were made before it.
    graph.reset();
    performance.reset();
}

bool DirectAudio::SoundEnabled() {
    return soundEnabled;
}

std::unique_ptr<SoundEffect> DirectAudio::LoadSound(const std::string& path) {
    if (!soundEnabled || !performance)
        return nullptr;
    std::unique_ptr<SoundEffect> effect(new SoundEffect());
    effect->segment = performance->LoadSample(platform::ResolveResource(path));
    if (!effect->segment) {
        platform::ShowErrorBox(kLoadFailed);
        return nullptr;
    }
    if (!performance->Download(*effect->segment)) {
        platform::ShowErrorBox(kDownloadFailed);
        return nullptr;
    }
    effect->performance = performance;
    SetEffectVolume(effect.get(), -1, false);
    return effect;
}

void DirectAudio::Play(SoundEffect* effect, int repeats) {
    if (!soundEnabled || !effect || !effect->segment)
        return;
    if (auto bank = effect->performance.lock())
        bank->Play(*effect->segment, repeats);
}

void DirectAudio::SetEffectVolume(SoundEffect* effect, int volume, bool keepSetting) {
    if (!soundEnabled)
        return;
    volume = ResolveVolume(volume, "SoundEffectVolume", keepSetting);
    // Every effect shares the one bank, so any effect (or none) reaches it.
    std::shared_ptr<platform::EffectBank> bank = effect ? effect->performance.lock() : performance;
    if (bank)
        bank->SetVolume(VolumeToHundredthsOfDecibel(volume));
}

int DirectAudio::PlayingEffects() const {
    return performance ? performance->PlayingCount() : 0;
}

void DirectAudio::PlayMedia(const std::string& path) {
    if (!soundEnabled)
        return;
    graph.reset();
    paused = false;

    std::unique_ptr<platform::MediaPlayer> player =
        backends.createMediaPlayer ? backends.createMediaPlayer() : nullptr;
    if (!player || !player->CreateGraph()) {
        platform::ShowErrorBox(kGraphFailed);
        return;
    }
    if (!player->CreateControl()) {
        platform::ShowErrorBox(kControlFailed);
        return;
    }
    if (!player->CreateEvents()) {
        platform::ShowErrorBox(kEventsFailed);
        return;
    }
    if (!player->CreateVideoOutput(window ? window->NativeHandle() : nullptr)) {
        platform::ShowErrorBox(kNoFilters);
        return;
    }
    if (!player->RenderFile(platform::ResolveResource(path))) {
        platform::ShowErrorBox(kNoFilters);
        return;
    }
    player->PlaceVideo(0, 0, platform::kPictureWidth, platform::kPictureHeight);

    // The stored volume is applied before the first sound is heard, not just after it.
    graph = std::move(player);
    SetMusicVolume(-1, false);
    if (!graph->Run()) {
        graph.reset();
        platform::ShowErrorBox(kRunFailed);
    }
}

void DirectAudio::StopMedia() {
    if (!soundEnabled || !graph)
        return;
    graph->Stop();
    graph.reset();
}

bool DirectAudio::IsMediaRunning() {
    if (!soundEnabled || !graph)
        return false;
    return graph->Poll() == platform::MediaPlayer::Completion::Running;
}

void DirectAudio::TogglePause() {
    if (!soundEnabled || !graph)
        return;
    if (paused) {
        paused = false;
        graph->Run();
    } else {
        paused = true;
        graph->Pause();
    }
}

void DirectAudio::SetMusicVolume(int volume, bool keepSetting) {
    if (!soundEnabled || !graph)
        return;
    volume = ResolveVolume(volume, "MusicVolume", keepSetting);
    graph->SetVolume(VolumeToHundredthsOfDecibel(volume));
}

}  // namespace torvane
