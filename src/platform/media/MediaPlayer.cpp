// The media player on GStreamer's playbin: music and film files, with the film's pictures taken
// from an app sink and drawn over the game window by an SDL renderer of our own.
#include "platform/MediaPlayer.h"

#include <SDL.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/AudioLevel.h"

namespace platform {
namespace {

// Building a pipeline reads the file's headers and decodes its first picture; a file that takes
// longer than this is treated as unplayable rather than freezing the game.
constexpr GstClockTime kPrerollTimeout = 10 * GST_SECOND;

bool StartGStreamer() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        GError* error = nullptr;
        started = gst_init_check(nullptr, nullptr, &error);
        if (!started) {
            std::fprintf(stderr, "Torvane: GStreamer unavailable: %s\n",
                         error ? error->message : "unknown reason");
        }
        if (error)
            g_error_free(error);
    });
    return started;
}

// The sound sink named by TORVANE_MEDIA_AUDIO_SINK (tests and servers name "fakesink"), else the
// desktop's default output.
GstElement* MakeAudioSink() {
    const char* named = std::getenv("TORVANE_MEDIA_AUDIO_SINK");
    const char* factory = named && *named ? named : "autoaudiosink";
    GstElement* sink = gst_element_factory_make(factory, "audio-output");
    // A null sink must still keep real time, or a file would "end" as soon as it is decoded.
    if (sink && g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "sync")) {
        g_object_set(sink, "sync", TRUE, nullptr);
    }
    return sink;
}

void PrintError(GstMessage* message) {
    GError* error = nullptr;
    gchar* detail = nullptr;
    gst_message_parse_error(message, &error, &detail);
    std::fprintf(stderr, "Torvane: media playback: %s\n", error ? error->message : "error");
    if (error)
        g_error_free(error);
    g_free(detail);
}

class GstMediaPlayer final : public MediaPlayer {
  public:
    ~GstMediaPlayer() override {
        if (playbin_)
            gst_element_set_state(playbin_, GST_STATE_NULL);
        if (bus_) {
            gst_bus_set_sync_handler(bus_, nullptr, nullptr, nullptr);
            gst_object_unref(bus_);
        }
        if (frames_)
            gst_object_unref(frames_);
        if (playbin_)
            gst_object_unref(playbin_);
        if (texture_)
            SDL_DestroyTexture(texture_);
        if (renderer_)
            SDL_DestroyRenderer(renderer_);
    }

    bool CreateGraph() override {
        if (!StartGStreamer())
            return false;
        playbin_ = gst_element_factory_make("playbin", "media");
        if (!playbin_)
            return false;
        gst_object_ref_sink(playbin_);
        return true;
    }

    bool CreateControl() override {
        if (!playbin_)
            return false;
        GstElement* sink = MakeAudioSink();
        if (!sink)
            return false;
        g_object_set(playbin_, "audio-sink", sink, nullptr);
        return true;
    }

    bool CreateEvents() override {
        if (!playbin_)
            return false;
        bus_ = gst_element_get_bus(playbin_);
        if (!bus_)
            return false;
        // Only the end and errors matter; taking them as they are posted keeps the bus empty
        // even when nobody polls for a long time (the music in the menus).
        gst_bus_set_sync_handler(bus_, &GstMediaPlayer::OnMessage, this, nullptr);
        return true;
    }

    bool CreateVideoOutput(void* nativeWindow) override {
        if (!playbin_)
            return false;
        GstElement* output = nullptr;
        if (nativeWindow) {
            GError* error = nullptr;
            output = gst_parse_bin_from_description(
                "videoconvert ! appsink name=frames caps=video/x-raw,format=BGRx "
                "max-buffers=1 drop=true sync=true enable-last-sample=false",
                TRUE, &error);
            if (error) {
                std::fprintf(stderr, "Torvane: no picture output: %s\n", error->message);
                g_error_free(error);
            }
            if (!output)
                return false;
            frames_ = gst_bin_get_by_name(GST_BIN(output), "frames");
            if (!frames_) {
                gst_object_unref(gst_object_ref_sink(output));
                return false;
            }
            window_ = static_cast<SDL_Window*>(nativeWindow);
        } else {
            output = gst_element_factory_make("fakesink", "video-output");
            if (!output)
                return false;
            g_object_set(output, "sync", TRUE, nullptr);
        }
        g_object_set(playbin_, "video-sink", output, nullptr);
        return true;
    }

    bool RenderFile(const std::string& file) override {
        if (!playbin_ || !bus_)
            return false;
        GError* error = nullptr;
        gchar* uri = gst_filename_to_uri(file.c_str(), &error);
        if (!uri) {
            if (error)
                g_error_free(error);
            return false;
        }
        g_object_set(playbin_, "uri", uri, nullptr);
        g_free(uri);
        completed_ = false;
        failed_ = false;
        GstStateChangeReturn result = gst_element_set_state(playbin_, GST_STATE_PAUSED);
        if (result == GST_STATE_CHANGE_ASYNC) {
            result = gst_element_get_state(playbin_, nullptr, nullptr, kPrerollTimeout);
        }
        if (result == GST_STATE_CHANGE_FAILURE || result == GST_STATE_CHANGE_ASYNC || failed_) {
            gst_element_set_state(playbin_, GST_STATE_NULL);
            return false;
        }
        return true;
    }

    void PlaceVideo(int x, int y, int width, int height) override { area_ = {x, y, width, height}; }

    bool Run() override {
        if (!playbin_)
            return false;
        if (gst_element_set_state(playbin_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            return false;
        }
        running_ = true;
        return true;
    }

    void Pause() override {
        if (!playbin_)
            return;
        const GstStateChangeReturn result = gst_element_set_state(playbin_, GST_STATE_PAUSED);
        running_ = false;
        // A sink paused while it is still leaving its first buffer behind answers at once
        // instead of waiting to refill, and then keeps playing on the running clock. A flushing
        // seek to where it is makes it stop and refill there for real.
        gint64 position = 0;
        if (result == GST_STATE_CHANGE_SUCCESS && !completed_ &&
            gst_element_query_position(playbin_, GST_FORMAT_TIME, &position)) {
            gst_element_seek_simple(playbin_, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, position);
        }
    }

    void Stop() override {
        if (!playbin_)
            return;
        gst_element_set_state(playbin_, GST_STATE_NULL);
        running_ = false;
    }

    Completion Poll() override {
        if (!playbin_)
            return Completion::NotRunning;
        ShowNewestPicture();
        if (failed_)
            return Completion::Failed;
        if (completed_)
            return Completion::Completed;
        return running_ ? Completion::Running : Completion::NotRunning;
    }

    void SetVolume(int32_t hundredthsOfDecibel) override {
        if (!playbin_)
            return;
        g_object_set(playbin_, "volume", HundredthsOfDecibelToGain(hundredthsOfDecibel), nullptr);
    }

    int PicturesShown() const override { return picturesShown_; }

  private:
    struct Area {
        int x = 0, y = 0, width = 0, height = 0;
    };

    // Runs on GStreamer's threads.
    static GstBusSyncReply OnMessage(GstBus*, GstMessage* message, gpointer data) {
        auto* self = static_cast<GstMediaPlayer*>(data);
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_EOS:
                self->completed_ = true;
                break;
            case GST_MESSAGE_ERROR:
                PrintError(message);
                self->failed_ = true;
                break;
            default:
                break;
        }
        gst_message_unref(message);
        return GST_BUS_DROP;
    }

    void ShowNewestPicture() {
        if (!frames_)
            return;
        GstSample* newest = nullptr;
        while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(frames_), 0)) {
            if (newest)
                gst_sample_unref(newest);
            newest = sample;
        }
        if (!newest)
            return;
        Draw(newest);
        gst_sample_unref(newest);
    }

    void Draw(GstSample* sample) {
        if (!window_ || area_.width <= 0 || area_.height <= 0 || !Renderer())
            return;
        GstVideoInfo info;
        GstCaps* caps = gst_sample_get_caps(sample);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (!caps || !buffer || !gst_video_info_from_caps(&info, caps))
            return;
        const int width = GST_VIDEO_INFO_WIDTH(&info);
        const int height = GST_VIDEO_INFO_HEIGHT(&info);
        if (width <= 0 || height <= 0)
            return;
        if (!texture_ || width != textureWidth_ || height != textureHeight_) {
            if (texture_)
                SDL_DestroyTexture(texture_);
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888,
                                         SDL_TEXTUREACCESS_STREAMING, width, height);
            textureWidth_ = width;
            textureHeight_ = height;
            if (!texture_)
                return;
        }
        GstVideoFrame frame;
        if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
            return;
        SDL_UpdateTexture(texture_, nullptr, GST_VIDEO_FRAME_PLANE_DATA(&frame, 0),
                          GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
        gst_video_frame_unmap(&frame);
        const SDL_Rect target{area_.x, area_.y, area_.width, area_.height};
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, &target);
        SDL_RenderPresent(renderer_);
        ++picturesShown_;
    }

    // Made on the first picture only, so a music file never takes the window's renderer from
    // the screen engine. When the window already has one, the film is simply not shown.
    SDL_Renderer* Renderer() {
        if (renderer_ || rendererFailed_)
            return renderer_;
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED);
        if (!renderer_)
            renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer_) {
            std::fprintf(stderr, "Torvane: cannot draw the film: %s\n", SDL_GetError());
            rendererFailed_ = true;
            return nullptr;
        }
        // The picture keeps its 640 x 480 proportions in a larger (full-screen) window.
        SDL_RenderSetLogicalSize(renderer_, area_.x + area_.width, area_.y + area_.height);
        return renderer_;
    }

    GstElement* playbin_ = nullptr;
    GstBus* bus_ = nullptr;
    GstElement* frames_ = nullptr;
    std::atomic<bool> completed_{false};
    std::atomic<bool> failed_{false};
    bool running_ = false;

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    bool rendererFailed_ = false;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0;
    int textureHeight_ = 0;
    Area area_;
    int picturesShown_ = 0;
};

}  // namespace

std::unique_ptr<MediaPlayer> CreateMediaPlayer() {
    return std::make_unique<GstMediaPlayer>();
}

}  // namespace platform
