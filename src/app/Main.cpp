// The game window: hosts the state machine driver and turns idle time into frames.
#include "app/Main.h"

#include <cstdlib>
#include <ctime>

#include "game/Objectif.h"
#include "game/Random.h"
#include "platform/MessageBox.h"

namespace torvane {
namespace {

constexpr const char* kNoGameWindow =
    "Impossible de cr\xE9"
    "er la fen\xEAtre du jeu.";

}  // namespace

TMainScreen::TMainScreen(platform::Application& application, std::function<void()> closeMainForm,
                         StateFactory factory)
    : application(application), closeMainForm(std::move(closeMainForm)) {
    platform::FormOptions options;
    options.title = "Torvane";
    options.x = 0;
    options.y = 0;
    options.width = platform::kPictureWidth;
    options.height = platform::kPictureHeight;
    // A window the player can resize and maximise: the picture scales into it.
    options.borderless = false;
    options.resizable = true;
    options.visible = false;
    form = application.CreateForm(options);
    form->onClose = [this] { CloseHandler(); };

    Randomize();
    application.ShowSystemCursor(false);
    form->SetClientArea(0, 0, platform::kPictureWidth, platform::kPictureHeight);
    inactive = false;
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    BuildObjectives();

    application.onIdle = [this](bool& done) { IdleHandler(done); };
    application.onActivate = [this] { ActivateHandler(); };
    application.onDeactivate = [this] { DeactivateHandler(); };

    if (!form->NativeHandle()) {
        // Without its window the game would run unseen: no driver, so the first idle ends it.
        platform::ShowErrorBox(kNoGameWindow);
        return;
    }
    driver = std::make_unique<MainState>(form.get(), std::move(factory));
}

TMainScreen::~TMainScreen() {
    application.onIdle = nullptr;
    application.onActivate = nullptr;
    application.onDeactivate = nullptr;
    if (!closed) {
        // Whatever the way out, the same clean-up as a close, without ending the program twice.
        closeMainForm = nullptr;
        CloseHandler();
    }
}

void TMainScreen::Show() {
    form->Show();
    form->Activate();
}

void TMainScreen::IdleHandler(bool& done) {
    done = false;
    if (!closeRequested) {
        if (inactive) {
            // In the background nothing is drawn for this player alone; a session goes on at a
            // few frames a second (the application sleeps between idle calls), so that the
            // others are answered, the phase clock runs and a host still moves the game on.
            done = true;
            if (!driver || !driver->InSession())
                return;
            if (RunFrame() != 1 && !closeRequested)
                return;
        } else if (driver && RunFrame() != 1 && !closeRequested) {
            return;
        }
    }
    driver.reset();
    CloseHandler();
    done = true;
}

int32_t TMainScreen::RunFrame() {
    struct FrameMark {
        bool& inFrame;
        explicit FrameMark(bool& flag) : inFrame(flag) { inFrame = true; }
        ~FrameMark() { inFrame = false; }
    } mark(inFrame);
    return driver->Run();
}

void TMainScreen::ActivateHandler() {
    inactive = false;
    if (driver)
        driver->Activate();
}

void TMainScreen::DeactivateHandler() {
    inactive = true;
    if (driver)
        driver->Deactivate();
}

void TMainScreen::CloseHandler() {
    if (closed)
        return;
    if (inFrame) {
        closeRequested = true;
        return;
    }
    closed = true;
    driver.reset();
    application.ShowSystemCursor(true);
    DestroyObjectives();
    form->Hide();
    if (closeMainForm)
        closeMainForm();
}

}  // namespace torvane
