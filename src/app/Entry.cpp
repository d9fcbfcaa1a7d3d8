// Process entry: the application object, the launcher, the message loop.
#include <exception>
#include <memory>

#include "app/Main.h"
#include "platform/Application.h"
#include "platform/MessageBox.h"

int main() {
    platform::Application application;
    application.SetTitle("Torvane");
    std::unique_ptr<torvane::TMainScreen> game;
    try {
        game = std::make_unique<torvane::TMainScreen>(application,
                                                      [&application] { application.Terminate(); });
        game->Show();
        application.Run();
    } catch (const std::exception& error) {
        platform::ShowErrorBox(error.what());
    }
    game.reset();
    return 0;
}
