// Sound files made by the tests themselves: short WAV tones and the small committed media files.
#pragma once

#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testsupport {

// Writes a 16-bit mono PCM WAV of a 440 Hz tone lasting `milliseconds`.
inline void WriteToneWav(const std::filesystem::path& file, int milliseconds,
                         int sampleRate = 22050) {
    std::filesystem::create_directories(file.parent_path());
    const uint32_t frames = static_cast<uint32_t>(sampleRate) * milliseconds / 1000;
    const uint32_t dataBytes = frames * 2;
    std::vector<unsigned char> out;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    auto put16 = [&](uint16_t v) {
        out.push_back(static_cast<unsigned char>(v));
        out.push_back(static_cast<unsigned char>(v >> 8));
    };
    auto tag = [&](const char* t) { out.insert(out.end(), t, t + 4); };
    tag("RIFF");
    put32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1);  // PCM
    put16(1);  // mono
    put32(static_cast<uint32_t>(sampleRate));
    put32(static_cast<uint32_t>(sampleRate) * 2);
    put16(2);
    put16(16);
    tag("data");
    put32(dataBytes);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        put16(static_cast<uint16_t>(static_cast<int16_t>(8000.0 * std::sin(2 * M_PI * 440.0 * t))));
    }
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

// tests/data: a 0.6 s WMA tone ("short.wma") and a 0.6 s red 32 x 24 AVI film with sound
// ("short.avi").
inline std::filesystem::path TestDataFolder() {
    return std::filesystem::path(__FILE__).parent_path().parent_path() / "data";
}

// A fresh folder that is removed with this object.
class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "torvane-audio-XXXXXX").string();
        path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TemporaryFolder() {
        std::error_code error;
        if (!path.empty())
            std::filesystem::remove_all(path, error);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::filesystem::path path;
};

}  // namespace testsupport
