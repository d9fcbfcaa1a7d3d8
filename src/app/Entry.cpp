// Process entry: the application object, the launcher dialog, the message loop.
#include <exception>

#include "app/Enter.h"
#include "platform/Application.h"
#include "platform/MessageBox.h"

int main() {
    platform::Application application;
    application.SetTitle("Torvane");
    try {
        torvane::TEnterScreen launcher(application);
        if (!launcher.Loaded())
            return 0;
        launcher.Show();
        application.Run();
    } catch (const std::exception& error) {
        platform::ShowErrorBox(error.what());
    }
    return 0;
}
