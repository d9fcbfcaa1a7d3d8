// The sound-effect mixer: short WAV samples, any number sounding at once, one common volume.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// One sample read from a file. Destroying it frees whatever the bank prepared for it; a sample
// may safely outlive its bank.
class EffectSample {
  public:
    virtual ~EffectSample() = default;
};

// The bank is brought up in four steps so the caller can tell the player which one failed;
// a step may only be taken after the previous one succeeded.
class EffectBank {
  public:
    virtual ~EffectBank() = default;

    // The audio system of the process.
    virtual bool StartSystem() = 0;
    // The part that reads sample files.
    virtual bool CreateLoader() = 0;
    // The mixer that plays samples.
    virtual bool CreateMixer() = 0;
    // Opens the output device for `nativeWindow` (may be null) with `channels` voices ready.
    virtual bool OpenOutput(void* nativeWindow, int channels) = 0;

    // Reads `file` (a native path); null when it cannot be read.
    virtual std::unique_ptr<EffectSample> LoadSample(const std::string& file) = 0;
    // Prepares a loaded sample for the output device (decoding and format conversion).
    virtual bool Download(EffectSample& sample) = 0;
    // Forgets what Download prepared; the sample stays loaded.
    virtual void Unload(EffectSample& sample) = 0;

    // Starts one more instance of a downloaded sample, played `times` times in a row
    // (endlessly when 0 or less). Instances already sounding go on.
    virtual void Play(EffectSample& sample, int times) = 0;
    // Gain of every sample, in hundredths of a decibel; levels above 0 play at unity.
    virtual void SetVolume(int32_t hundredthsOfDecibel) = 0;
    // How many instances are sounding now.
    virtual int PlayingCount() const = 0;
};

// The SDL_mixer bank.
std::unique_ptr<EffectBank> CreateEffectBank();

}  // namespace platform
