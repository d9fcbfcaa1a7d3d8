// The application object and its forms on SDL: message loop, activation, key state, cursor.
#include "platform/Application.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/MessageBox.h"
#include "platform/sdl/KeyMap.h"

namespace platform {

struct Form::State {
    SDL_Window* window = nullptr;
    Uint32 id = 0;
    double scale = 1.0;
    int offsetX = 0;
    int offsetY = 0;
    // From the window events, so that an iconified window is seen the same way whether the
    // window system or an automation script reported it.
    bool minimized = false;
};

struct Application::Impl {
    bool videoStarted = false;
    bool headless = true;
    std::vector<Form*> forms;

    // Key state by virtual-key code. `latched` keeps a key that went down since the last pump
    // visible until the next pump, so a press and release between two frames is still seen.
    std::array<bool, 256> down{};
    std::array<bool, 256> latched{};
    std::array<uint8_t, SDL_NUM_SCANCODES> pressedCode{};

    bool active = true;
    bool focusChanged = false;
    // Read again at every key press as well as when SDL says the keymap changed: a desktop
    // that switches layouts per window or by a shortcut does not always announce it.
    KeyboardLayout layout = KeyboardLayout::kAzerty;

    void ReadLayout() { layout = LayoutOf(SDL_GetKeyFromScancode); }

    Form* FindForm(Uint32 windowId) const {
        for (Form* form : forms) {
            if (form->state_->id == windowId)
                return form;
        }
        return nullptr;
    }

    void Press(int code) {
        if (code <= 0 || code > 255)
            return;
        down[static_cast<size_t>(code)] = true;
        latched[static_cast<size_t>(code)] = true;
    }
    void Release(int code) {
        if (code <= 0 || code > 255)
            return;
        down[static_cast<size_t>(code)] = false;
    }
    void UpdateNeutral(int code) {
        const int neutral = NeutralModifierFor(code);
        if (neutral == 0)
            return;
        const int left = neutral == 16 ? 160 : neutral == 17 ? 162 : 164;
        const bool any = down[static_cast<size_t>(left)] || down[static_cast<size_t>(left + 1)];
        if (any) {
            Press(neutral);
        } else {
            Release(neutral);
        }
    }
    void ClearKeys() {
        down.fill(false);
        latched.fill(false);
        pressedCode.fill(0);
    }
};

namespace {

bool IsHeadlessDriver(const char* driver) {
    return !driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

void ShowOnScreen(const std::string& text) {
    const std::string utf8 = Cp1252ToUtf8(text);
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, kErrorCaption, utf8.c_str(), nullptr) != 0) {
        std::fprintf(stderr, "%s: %s\n", kErrorCaption, utf8.c_str());
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Form

Form::Form(Application& app, std::unique_ptr<State> state) : app_(app), state_(std::move(state)) {
    app_.impl_->forms.push_back(this);
}

Form::~Form() {
    auto& forms = app_.impl_->forms;
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    if (state_->window)
        SDL_DestroyWindow(state_->window);
}

void Form::Show() {
    if (state_->window)
        SDL_ShowWindow(state_->window);
}

void Form::Hide() {
    if (state_->window)
        SDL_HideWindow(state_->window);
}

bool Form::IsVisible() const {
    return state_->window && (SDL_GetWindowFlags(state_->window) & SDL_WINDOW_SHOWN) != 0;
}

void Form::SetClientArea(int x, int y, int width, int height) {
    if (!state_->window)
        return;
    SDL_SetWindowSize(state_->window, width, height);
    SDL_SetWindowPosition(state_->window, x, y);
}

Form::Area Form::ClientArea() const {
    Area area;
    if (state_->window) {
        SDL_GetWindowPosition(state_->window, &area.x, &area.y);
        SDL_GetWindowSize(state_->window, &area.width, &area.height);
    }
    return area;
}

void Form::CentreOnDesktop() {
    if (state_->window) {
        SDL_SetWindowPosition(state_->window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
}

void Form::Activate() {
    if (!state_->window)
        return;
    SDL_RaiseWindow(state_->window);
    SDL_SetWindowInputFocus(state_->window);
}

bool Form::IsKeyDown(int virtualKey) const {
    if (virtualKey <= 0 || virtualKey > 255)
        return false;
    const auto& impl = *app_.impl_;
    return impl.down[static_cast<size_t>(virtualKey)] ||
           impl.latched[static_cast<size_t>(virtualKey)];
}

KeyboardLayout Form::Layout() const {
    return app_.impl_->layout;
}

bool Form::HasKeyboardFocus() const {
    return state_->window && SDL_GetKeyboardFocus() == state_->window;
}

int Form::TakeWheelSteps() {
    const int steps = wheelSteps_;
    wheelSteps_ = 0;
    return steps;
}

Point Form::CursorPosition() const {
    if (!state_->window)
        return {};
    int x = 0;
    int y = 0;
    if (SDL_GetMouseFocus() == state_->window) {
        SDL_GetMouseState(&x, &y);
    } else {
        int wx = 0;
        int wy = 0;
        SDL_GetGlobalMouseState(&x, &y);
        SDL_GetWindowPosition(state_->window, &wx, &wy);
        x -= wx;
        y -= wy;
    }
    return PictureFromWindow(x, y);
}

Point Form::PictureFromWindow(int x, int y) const {
    const double scale = state_->scale > 0 ? state_->scale : 1.0;
    return {static_cast<int>(std::floor((x - state_->offsetX) / scale)),
            static_cast<int>(std::floor((y - state_->offsetY) / scale))};
}

ClockReading Form::Now() const {
    return ReadClock();
}

void Form::ProcessMessages() {
    app_.ProcessMessages();
}

void* Form::NativeHandle() const {
    return state_->window;
}

bool Form::IsMinimized() const {
    return state_->minimized ||
           (state_->window && (SDL_GetWindowFlags(state_->window) & SDL_WINDOW_MINIMIZED) != 0);
}

void Form::SetPictureMapping(double scale, int offsetX, int offsetY) {
    state_->scale = scale;
    state_->offsetX = offsetX;
    state_->offsetY = offsetY;
}

// ---------------------------------------------------------------------------------------------
// Application

Application::Application() : impl_(std::make_unique<Impl>()) {
    // SIGINT and SIGTERM arrive as a quit message, so the game closes cleanly (leaving its
    // network session with a goodbye) when interrupted or when the desktop session ends.
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        // No display at all: carry on headless.
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
            std::fprintf(stderr, "Torvane: no video at all: %s\n", SDL_GetError());
            return;
        }
    }
    impl_->videoStarted = true;
    impl_->headless = IsHeadlessDriver(SDL_GetCurrentVideoDriver());
    // Where only the software renderer works (a virtual display, no GPU), SDL would otherwise hand
    // each finished frame to an OpenGL renderer on the CPU just to show it, which costs more than
    // drawing the frame; X11 shows window pixels directly. Other systems have no such path.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "x11") == 0)
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    impl_->ReadLayout();
    if (!impl_->headless)
        SetErrorSink(ShowOnScreen);
}

Application::~Application() {
    if (!impl_->headless)
        SetErrorSink(nullptr);
    if (impl_->videoStarted)
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
}

bool Application::HasDisplay() const {
    return impl_->videoStarted && !impl_->headless;
}

std::unique_ptr<Form> Application::CreateForm(const FormOptions& options) {
    auto state = std::make_unique<Form::State>();
    if (impl_->videoStarted) {
        Uint32 flags = options.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
        if (options.borderless)
            flags |= SDL_WINDOW_BORDERLESS;
        if (options.resizable)
            flags |= SDL_WINDOW_RESIZABLE;
        const int x = options.centred ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : options.x;
        const int y = options.centred ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : options.y;
        const std::string title = Cp1252ToUtf8(options.title);
        state->window = SDL_CreateWindow(title.c_str(), x, y, options.width, options.height, flags);
        if (state->window) {
            state->id = SDL_GetWindowID(state->window);
            if (options.resizable)
                SDL_SetWindowMinimumSize(state->window, kPictureWidth / 2, kPictureHeight / 2);
        } else {
            std::fprintf(stderr, "Torvane: cannot create a window: %s\n", SDL_GetError());
        }
    }
    return std::unique_ptr<Form>(new Form(*this, std::move(state)));
}

void Application::ProcessMessages() {
    Impl& impl = *impl_;
    impl.latched.fill(false);
    if (!impl.videoStarted)
        return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
            case SDL_QUIT: {
                // Every form with a close handler gets the chance to clean up.
                std::vector<Form*> forms = impl.forms;
                for (Form* form : forms) {
                    if (form->onClose && form->IsVisible())
                        form->onClose();
                }
                Terminate();
                break;
            }
            case SDL_WINDOWEVENT: {
                Form* form = impl.FindForm(event.window.windowID);
                switch (event.window.event) {
                    case SDL_WINDOWEVENT_CLOSE:
                        if (form && form->onClose) {
                            form->onClose();
                        } else if (form) {
                            form->Hide();
                        }
                        break;
                    case SDL_WINDOWEVENT_FOCUS_GAINED:
                        impl.focusChanged = true;
                        break;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        impl.focusChanged = true;
                        impl.ClearKeys();
                        break;
                    case SDL_WINDOWEVENT_MINIMIZED:
                        if (form)
                            form->state_->minimized = true;
                        break;
                    case SDL_WINDOWEVENT_RESTORED:
                    case SDL_WINDOWEVENT_MAXIMIZED:
                        if (form)
                            form->state_->minimized = false;
                        break;
                    case SDL_WINDOWEVENT_EXPOSED:
                        if (form && form->onExposed)
                            form->onExposed();
                        break;
                    default:
                        break;
                }
                break;
            }
            case SDL_KEYMAPCHANGED:
                impl.ReadLayout();
                break;
            case SDL_KEYDOWN: {
                if (event.key.repeat)
                    break;
                impl.ReadLayout();
                const int code = VirtualKeyFor(event.key.keysym.scancode, event.key.keysym.sym,
                                               event.key.keysym.mod, impl.layout);
                if (code <= 0)
                    break;
                impl.pressedCode[event.key.keysym.scancode] = static_cast<uint8_t>(code);
                impl.Press(code);
                impl.UpdateNeutral(code);
                if (Form* form = impl.FindForm(event.key.windowID); form && form->onKeyDown) {
                    form->onKeyDown(code);
                }
                break;
            }
            case SDL_KEYUP: {
                int code = impl.pressedCode[event.key.keysym.scancode];
                if (code == 0) {
                    code = VirtualKeyFor(event.key.keysym.scancode, event.key.keysym.sym,
                                         event.key.keysym.mod, impl.layout);
                }
                impl.pressedCode[event.key.keysym.scancode] = 0;
                impl.Release(code);
                impl.UpdateNeutral(code);
                break;
            }
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP: {
                const bool pressed = event.type == SDL_MOUSEBUTTONDOWN;
                const int code = VirtualKeyForMouseButton(event.button.button);
                if (pressed) {
                    impl.Press(code);
                } else {
                    impl.Release(code);
                }
                if (Form* form = impl.FindForm(event.button.windowID)) {
                    auto& handler = pressed ? form->onMouseDown : form->onMouseUp;
                    if (handler)
                        handler(event.button.x, event.button.y, code);
                }
                break;
            }
            case SDL_MOUSEWHEEL:
                if (Form* form = impl.FindForm(event.wheel.windowID)) {
                    form->AddWheelSteps(event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED
                                            ? -event.wheel.y
                                            : event.wheel.y);
                }
                break;
            case SDL_MOUSEMOTION:
                if (Form* form = impl.FindForm(event.motion.windowID); form && form->onMouseMove) {
                    form->onMouseMove(event.motion.x, event.motion.y);
                }
                break;
            default:
                break;
        }
        if (terminated_)
            break;
    }

    if (impl.focusChanged) {
        impl.focusChanged = false;
        bool anyFocus = false;
        for (Form* form : impl.forms) {
            if (form->state_->window &&
                (SDL_GetWindowFlags(form->state_->window) & SDL_WINDOW_INPUT_FOCUS)) {
                anyFocus = true;
            }
        }
        if (anyFocus && !impl.active) {
            impl.active = true;
            if (onActivate)
                onActivate();
        } else if (!anyFocus && impl.active) {
            impl.active = false;
            if (onDeactivate)
                onDeactivate();
        }
    }
}

void Application::Run() {
    while (!terminated_) {
        bool done = true;
        // An exception escaping an event handler is shown in the error box; the loop goes on.
        try {
            ProcessMessages();
            if (terminated_)
                break;
            if (onIdle) {
                done = false;
                onIdle(done);
            }
        } catch (const std::exception& error) {
            ShowErrorBox(error.what());
        } catch (...) {
            ShowErrorBox("");
        }
        if (done && !terminated_ && impl_->videoStarted) {
            // Nothing to draw: sleep until the window system has something for us.
            SDL_WaitEventTimeout(nullptr, 250);
        }
    }
}

void Application::Terminate() {
    terminated_ = true;
}

void Application::ShowSystemCursor(bool show) {
    if (impl_->videoStarted)
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace platform

namespace platform {
namespace {

// The scancode that reports `virtualKey` under the current layout and `modifiers`, or UNKNOWN.
SDL_Scancode ScancodeFor(int virtualKey, Uint16 modifiers, KeyboardLayout layout) {
    for (int code = 0; code < SDL_NUM_SCANCODES; ++code) {
        const auto scancode = static_cast<SDL_Scancode>(code);
        if (VirtualKeyFor(scancode, SDL_GetKeyFromScancode(scancode), modifiers, layout) ==
            virtualKey) {
            return scancode;
        }
    }
    if (virtualKey == 16)
        return SDL_SCANCODE_LSHIFT;
    if (virtualKey == 17)
        return SDL_SCANCODE_LCTRL;
    if (virtualKey == 18)
        return SDL_SCANCODE_LALT;
    return SDL_SCANCODE_UNKNOWN;
}

void PushWindowEvent(Uint32 windowId, SDL_WindowEventID what) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = windowId;
    event.window.event = static_cast<Uint8>(what);
    SDL_PushEvent(&event);
}

Uint8 SdlButtonFor(int button) {
    switch (button) {
        case 2:
            return SDL_BUTTON_RIGHT;
        case 4:
            return SDL_BUTTON_MIDDLE;
        default:
            return SDL_BUTTON_LEFT;
    }
}

}  // namespace

void Application::InjectKey(Form& form, int virtualKey, bool down) {
    if (!impl_->videoStarted)
        return;
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.windowID = form.state_->id;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    // A keypad digit asked for while NumLock is off is typed as if it were on.
    Uint16 modifiers = static_cast<Uint16>(SDL_GetModState());
    event.key.keysym.scancode = ScancodeFor(virtualKey, modifiers, impl_->layout);
    if (event.key.keysym.scancode == SDL_SCANCODE_UNKNOWN) {
        modifiers |= KMOD_NUM;
        event.key.keysym.scancode = ScancodeFor(virtualKey, modifiers, impl_->layout);
    }
    event.key.keysym.mod = modifiers;
    event.key.keysym.sym = SDL_GetKeyFromScancode(event.key.keysym.scancode);
    SDL_PushEvent(&event);
}

void Application::InjectMouseButton(Form& form, int x, int y, int button, bool down) {
    if (!impl_->videoStarted)
        return;
    SDL_Event event{};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.windowID = form.state_->id;
    event.button.button = SdlButtonFor(button);
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.button.clicks = 1;
    event.button.x = x;
    event.button.y = y;
    SDL_PushEvent(&event);
}

void Application::InjectMinimized(Form& form, bool minimized) {
    if (impl_->videoStarted)
        PushWindowEvent(form.state_->id,
                        minimized ? SDL_WINDOWEVENT_MINIMIZED : SDL_WINDOWEVENT_RESTORED);
}

void Application::InjectClose(Form& form) {
    if (impl_->videoStarted)
        PushWindowEvent(form.state_->id, SDL_WINDOWEVENT_CLOSE);
}

void Application::InjectMouseMove(Form& form, int x, int y) {
    if (!impl_->videoStarted)
        return;
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.windowID = form.state_->id;
    event.motion.x = x;
    event.motion.y = y;
    SDL_PushEvent(&event);
}

}  // namespace platform
