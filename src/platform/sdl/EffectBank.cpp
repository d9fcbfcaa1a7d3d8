// The sound-effect mixer on SDL_mixer: WAV chunks on mixer channels that grow on demand, one
// common volume for every channel.
#include "platform/EffectBank.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/AudioLevel.h"

namespace platform {
namespace {

// Sounds larger than this are not effects; refusing them keeps a bad file from eating memory.
constexpr std::uintmax_t kLargestSampleFile = 64u << 20;
// Channels are doubled when all are busy, up to this many instances at once.
constexpr int kMostChannels = 1024;

class SdlSample;

// What samples share with their bank, so a sample that outlives the bank knows its chunk is gone.
struct Device {
    bool open = false;
    std::vector<SdlSample*> samples;
};

class SdlSample final : public EffectSample {
  public:
    SdlSample(std::shared_ptr<Device> device, std::vector<unsigned char> bytes)
        : device(std::move(device)), bytes(std::move(bytes)) {
        this->device->samples.push_back(this);
    }
    ~SdlSample() override {
        FreeChunk();
        auto& list = device->samples;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    void FreeChunk() {
        if (chunk && device->open)
            Mix_FreeChunk(chunk);
        chunk = nullptr;
    }

    std::shared_ptr<Device> device;
    std::vector<unsigned char> bytes;
    Mix_Chunk* chunk = nullptr;
};

class SdlEffectBank final : public EffectBank {
  public:
    ~SdlEffectBank() override {
        if (device_->open) {
            Mix_HaltChannel(-1);
            for (SdlSample* sample : device_->samples)
                sample->FreeChunk();
            Mix_CloseAudio();
            device_->open = false;
        }
        if (systemStarted_)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    bool StartSystem() override {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            std::fprintf(stderr, "Torvane: no audio system: %s\n", SDL_GetError());
            return false;
        }
        systemStarted_ = true;
        return true;
    }

    // Samples are decoded by the mixer library itself, so the loader is ready when the library
    // loaded at run time is one this program was built for.
    bool CreateLoader() override {
        if (!systemStarted_)
            return false;
        const SDL_version* linked = Mix_Linked_Version();
        SDL_version built;
        SDL_MIXER_VERSION(&built);
        loaderReady_ =
            linked && linked->major == built.major && (linked->minor > 0 || linked->patch >= 2);
        if (!loaderReady_)
            std::fprintf(stderr, "Torvane: unsuitable SDL_mixer library\n");
        return loaderReady_;
    }

    bool CreateMixer() override {
        if (!loaderReady_)
            return false;
        const int changes = SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE;
        if (Mix_OpenAudioDevice(44100, AUDIO_S16SYS, 2, 1024, nullptr, changes) != 0) {
            std::fprintf(stderr, "Torvane: no sound output: %s\n", Mix_GetError());
            return false;
        }
        device_->open = true;
        return true;
    }

    bool OpenOutput(void* nativeWindow, int channels) override {
        if (!device_->open || channels <= 0)
            return false;
        if (Mix_AllocateChannels(channels) != channels || !Mix_HasChunkDecoder("WAVE")) {
            return false;
        }
        channels_ = channels;
        Mix_Volume(-1, mixVolume_);
        return true;
    }

    std::unique_ptr<EffectSample> LoadSample(const std::string& file) override {
        if (!loaderReady_)
            return nullptr;
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error))
            return nullptr;
        const std::uintmax_t size = std::filesystem::file_size(file, error);
        if (error || size == 0 || size > kLargestSampleFile)
            return nullptr;
        std::ifstream in(file, std::ios::binary);
        std::vector<unsigned char> bytes(static_cast<size_t>(size));
        if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
            return nullptr;
        }
        return std::make_unique<SdlSample>(device_, std::move(bytes));
    }

    bool Download(EffectSample& sample) override {
        auto& s = static_cast<SdlSample&>(sample);
        if (!device_->open || s.device != device_)
            return false;
        s.FreeChunk();
        SDL_RWops* source = SDL_RWFromConstMem(s.bytes.data(), static_cast<int>(s.bytes.size()));
        if (!source)
            return false;
        s.chunk = Mix_LoadWAV_RW(source, 1);
        return s.chunk != nullptr;
    }

    void Unload(EffectSample& sample) override {
        auto& s = static_cast<SdlSample&>(sample);
        if (s.device == device_)
            s.FreeChunk();
    }

    void Play(EffectSample& sample, int times) override {
        auto& s = static_cast<SdlSample&>(sample);
        if (!device_->open || !s.chunk || s.device != device_)
            return;
        const int loops = times <= 0 ? -1 : times - 1;
        if (Mix_PlayChannel(-1, s.chunk, loops) >= 0)
            return;
        // Every channel is busy: make room rather than drop the sound.
        const int more = std::min(channels_ * 2, kMostChannels);
        if (more <= channels_ || Mix_AllocateChannels(more) != more)
            return;
        channels_ = more;
        Mix_Volume(-1, mixVolume_);
        Mix_PlayChannel(-1, s.chunk, loops);
    }

    void SetVolume(int32_t hundredthsOfDecibel) override {
        const double gain = HundredthsOfDecibelToGain(hundredthsOfDecibel);
        mixVolume_ = static_cast<int>(std::lround(gain * MIX_MAX_VOLUME));
        if (device_->open)
            Mix_Volume(-1, mixVolume_);
    }

    int PlayingCount() const override { return device_->open ? Mix_Playing(-1) : 0; }

  private:
    std::shared_ptr<Device> device_ = std::make_shared<Device>();
    bool systemStarted_ = false;
    bool loaderReady_ = false;
    int channels_ = 0;
    int mixVolume_ = MIX_MAX_VOLUME;
};

}  // namespace

std::unique_ptr<EffectBank> CreateEffectBank() {
    return std::make_unique<SdlEffectBank>();
}

}  // namespace platform
