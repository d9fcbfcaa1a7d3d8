// Process entry.
#include "platform/Application.h"

int main() {
    platform::Application application;
    application.SetTitle("Torvane");
    platform::FormOptions options;
    options.title = "Torvane";
    options.visible = true;
    auto form = application.CreateForm(options);
    form->onClose = [&] { application.Terminate(); };
    form->onKeyDown = [&](int key) {
        if (key == 27) application.Terminate();
    };
    application.onIdle = [](bool& done) { done = true; };
    application.Run();
    return 0;
}
