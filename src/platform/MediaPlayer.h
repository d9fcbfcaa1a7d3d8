// The streamed media player: one music or film file, run, pause, stop, completion, volume, and
// the film's pictures drawn over the game window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// The player is put together in steps so the caller can tell the player which one failed; a
// step may only be taken after the previous one succeeded. Destroying the player stops
// playback and releases everything, including the picture output it made for the window.
class MediaPlayer {
  public:
    enum class Completion {
        Running,     // playing and not yet at its end
        Completed,   // reached the end of the file
        NotRunning,  // paused, stopped or never started
        Failed,      // a playback error happened after the start
    };

    virtual ~MediaPlayer() = default;

    // The playback pipeline.
    virtual bool CreateGraph() = 0;
    // The sound output.
    virtual bool CreateControl() = 0;
    // The channel through which end-of-file and errors are reported.
    virtual bool CreateEvents() = 0;
    // The picture output: pictures for `nativeWindow`, or a null sink when it is null.
    virtual bool CreateVideoOutput(void* nativeWindow) = 0;
    // Builds the pipeline for `file` (a native path) and prepares it up to its first picture.
    virtual bool RenderFile(const std::string& file) = 0;
    // Where pictures go in the window, in picture coordinates. Without a window, or for an
    // audio-only file, nothing is shown; no failure is reported.
    virtual void PlaceVideo(int x, int y, int width, int height) = 0;

    virtual bool Run() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;

    // Never waits. Also shows the newest film picture, so polling it every frame shows the film.
    virtual Completion Poll() = 0;

    // In hundredths of a decibel; levels above 0 play at unity.
    virtual void SetVolume(int32_t hundredthsOfDecibel) = 0;

    // How many film pictures have been drawn into the window so far.
    virtual int PicturesShown() const = 0;
};

// The GStreamer player. TORVANE_MEDIA_AUDIO_SINK in the environment names the sound sink to
// use instead of the desktop's output ("fakesink" in tests and on servers); it keeps real time.
std::unique_ptr<MediaPlayer> CreateMediaPlayer();

}  // namespace platform
