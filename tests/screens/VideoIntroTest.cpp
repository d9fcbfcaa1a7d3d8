// The intro film: the screen engine is released while it plays, then the title until a key.
#include <gtest/gtest.h>

#include "states/Statevideointro.h"
#include "support/FrontendHarness.h"

using namespace torvane;

namespace {

class Intro : public testsupport::FrontendHarness {
  protected:
    std::unique_ptr<VideoIntroState> Open() {
        return std::make_unique<VideoIntroState>(&window, &screen, &audio, &input);
    }
};

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

TEST_F(Intro, TheFilmPlaysWithoutAScreenEngineUntilAKey) {
    auto intro = Open();
    EXPECT_EQ(screen, nullptr);
    ASSERT_EQ(sounds.media.size(), 1u);
    EXPECT_TRUE(EndsWith(sounds.media[0], "Quillmere.avi"));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(Frame(*intro), 0);
    EXPECT_EQ(intro->Phase(), 0);
    EXPECT_EQ(screen, nullptr);
    Press(*intro, 27);
    EXPECT_EQ(intro->Phase(), 1);
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(sounds.media.size(), 2u);
    EXPECT_TRUE(EndsWith(sounds.media[1], "Music.wma"));
}

TEST_F(Intro, WithSoundOffTheFirstFrameShowsTheTitle) {
    platform::SetBoolSetting("NoSoundCard", false);
    audio.reset();
    input.reset();
    auto intro = Open();
    ASSERT_NE(audio, nullptr);  // made by the intro, which needs one
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(Frame(*intro), 0);
    EXPECT_EQ(intro->Phase(), 1);
    EXPECT_NE(screen, nullptr);
}

TEST_F(Intro, AKeyDuringTheFadeInGoesToTheMenuAtOnce) {
    platform::SetBoolSetting("NoSoundCard", false);
    audio.reset();
    auto intro = Open();
    Frame(*intro);
    Frame(*intro);
    window.SetKeyDown(32, true);
    EXPECT_EQ(Frame(*intro), MainMenuCode);
    EXPECT_FALSE(screen->FadeDone());  // the menu finishes the fade-in
}

TEST_F(Intro, AfterTheFadeInAKeyFadesOutFirst) {
    platform::SetBoolSetting("NoSoundCard", false);
    audio.reset();
    auto intro = Open();
    RunFrames(*intro, 60);  // 1.2 s: the fade-in is over
    EXPECT_EQ(intro->Phase(), 1);
    EXPECT_EQ(Press(*intro, 13), 0);
    EXPECT_EQ(intro->Phase(), 2);
    int elapsed = 40;
    int32_t code = 0;
    while (code == 0 && elapsed < 3000) {
        code = Frame(*intro);
        elapsed += 20;
    }
    EXPECT_EQ(code, MainMenuCode);
    EXPECT_GE(elapsed, 1000);
    EXPECT_FALSE(screen->FadeDone());  // a new fade-in is set for the menu
}
