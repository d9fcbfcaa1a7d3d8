// Entry of every test program: settings, seats and saved games in a fresh temporary folder, no
// display, no sound card, error boxes collected instead of shown.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/TestSupport.h"

int main(int argc, char** argv) {
    char folder[] = "/tmp/torvane-test-XXXXXX";
    if (!::mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 2;
    }
    ::setenv("XDG_CONFIG_HOME", folder, 1);
    // Seat tokens of the games tests play go there too, never to the user's own folder.
    ::setenv("XDG_STATE_HOME", folder, 1);
    // And so do the games they save.
    ::setenv("XDG_DATA_HOME", folder, 1);
    ::setenv("SDL_VIDEODRIVER", "dummy", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    ::setenv("SDL_RENDER_DRIVER", "software", 0);
    ::setenv("TORVANE_RESOURCES", TORVANE_TEST_RESOURCES, 0);
    ::setenv("GST_REGISTRY", TORVANE_TEST_GST_REGISTRY, 0);
    // Every run draws with the bundled face and no frame pacing.
    ::setenv("TORVANE_BUNDLED_FONT", "1", 0);
    ::setenv("TORVANE_FRAME_CAP", "0", 0);
    ::setenv("TORVANE_MEDIA_AUDIO_SINK", "fakesink", 0);
    // Searches stay on this machine: no broadcast ever leaves it from a test.
    ::setenv("TORVANE_SEARCH", "local", 1);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    return result;
}
