// The launcher dialog: the splash picture, four display and sound options, play and close.
#include "app/Enter.h"

#include "platform/FontFinder.h"
#include "platform/Jpeg.h"
#include "platform/MessageBox.h"
#include "platform/ResourcePath.h"
#include "platform/Settings.h"

namespace torvane {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr const char* kSplashPath = "..\\Ressources\\Graphics\\Fond\\Splash.jpg";
constexpr const char* kClosePath = "..\\Ressources\\Graphics\\Icones\\Close.bmp";
constexpr const char* kNoWindow =
    "Impossible de cr\xE9"
    "er la fen\xEAtre du lanceur.";

// Flat buttons: the close glyph 24 x 24, its right edge 10 pixels from the dialog's; play.
constexpr int kCloseX = kWidth - 10 - 24;
constexpr int kCloseY = 11;
constexpr int kCloseSize = 24;
constexpr int kLaunchX = 123;
constexpr int kLaunchY = 205;
constexpr int kLaunchWidth = 81;
constexpr int kLaunchHeight = 20;
constexpr int kBoxWidth = 14;
constexpr int kBoxHeight = 15;

constexpr uint32_t kTextColour = 0xFF102D19;
constexpr uint32_t kGreyText = 0xFF808080;  // the system's grey-text colour

bool IsCharacterKey(int key) {
    return key == 8 || key == 13 || key == 27 || key == 32 || (key >= 48 && key <= 57) ||
           (key >= 65 && key <= 90) || (key >= 96 && key <= 111) || key == 188 || key == 190 ||
           key == 191 || key == 223;
}

std::string LoadFailure(const char* path) {
    return std::string("Impossible d'ouvrir le fichier ") + path + ".";
}

}  // namespace

// Tab order: boxes 1, 2, 3, 4 ("Plein écran", "Voir la vitesse...", "Activer le son",
// "Texture carrées").
const std::array<TEnterScreen::Box, 4> TEnterScreen::kBoxes = {{
    {80, 87, 96, 85,
     "Plein \xE9"
     "cran",
     "FullScreen", true},
    {80, 126, 96, 124, "Voir la vitesse d'affichage", "ShowDebugInfo", false},
    {80, 166, 96, 164, "Activer le son", "NoSoundCard", true},
    {80, 107, 96, 105,
     "Texture carr\xE9"
     "es",
     "SquareTexturesOnly", false},
}};

TEnterScreen::TEnterScreen(platform::Application& application, GameWindowFactory openGame)
    : application(application), openGame(std::move(openGame)) {
    if (!this->openGame) {
        this->openGame = [](TEnterScreen& launcher) {
            return std::make_unique<TMainScreen>(launcher.application,
                                                 [&launcher] { launcher.CloseButtonClick(); });
        };
    }
    platform::FormOptions options;
    options.title = "Torvane";
    options.width = kWidth;
    options.height = kHeight;
    options.centred = true;
    options.borderless = true;
    options.visible = false;
    form = application.CreateForm(options);
    canvas = std::make_unique<platform::Canvas>(*form);

    platform::PixelImage picture;
    std::string why;
    if (!platform::DecodeJpegFile(platform::ResolveResource(kSplashPath), picture, &why)) {
        platform::ShowErrorBox(LoadFailure(kSplashPath));
        return;
    }
    platform::PixelImage glyph;
    if (!platform::DecodeBmpFile(platform::ResolveResource(kClosePath), glyph, &why)) {
        platform::ShowErrorBox(LoadFailure(kClosePath));
        return;
    }
    if (!form->NativeHandle()) {
        // Nobody could ever press play or close: say so and end instead of running unseen.
        platform::ShowErrorBox(kNoWindow);
        return;
    }
    splash = canvas->AddPicture(picture);
    closeGlyph = canvas->AddPicture(glyph);
    labelFont = canvas->OpenFont(platform::FindFontFile("Book Antiqua", true), 13);
    buttonFont = canvas->OpenFont(platform::FindFontFile("Book Antiqua", true), 16);

    for (int box = 1; box <= 4; ++box) {
        const Box& b = kBoxes[static_cast<size_t>(box - 1)];
        SetChecked(box, platform::GetBoolSetting(b.setting, b.fallback));
    }

    form->onClose = [this] { CloseButtonClick(); };
    form->onKeyDown = [this](int key) { KeyDown(key); };
    form->onMouseDown = [this](int x, int y, int button) { MouseDown(x, y, button); };
    form->onMouseUp = [this](int x, int y, int button) { MouseUp(x, y, button); };
    form->onMouseMove = [this](int x, int y) { MouseMove(x, y); };
    form->onExposed = [this] { Paint(); };
    loaded = true;
}

TEnterScreen::~TEnterScreen() {
    // The game window goes first: its clean-up may still close this dialog.
    game.reset();
}

void TEnterScreen::Show() {
    form->Show();
    form->Activate();
    Paint();
}

bool TEnterScreen::Checked(int box) const {
    if (box < 1 || box > 4)
        return false;
    return checked[static_cast<size_t>(box - 1)];
}

// Setting a box to a state other than its current one is a click: its value is written.
void TEnterScreen::SetChecked(int box, bool state) {
    if (Checked(box) != state)
        CheckBoxClick(box);
}

void TEnterScreen::CheckBoxClick(int box) {
    if (box < 1 || box > 4)
        return;
    bool& state = checked[static_cast<size_t>(box - 1)];
    state = !state;
    platform::SetBoolSetting(kBoxes[static_cast<size_t>(box - 1)].setting, state);
}

void TEnterScreen::LaunchButtonClick() {
    if (game)
        return;
    form->Hide();
    game = openGame(*this);
    if (game)
        game->Show();
}

void TEnterScreen::CloseButtonClick() {
    application.Terminate();
}

void TEnterScreen::FormKeyPress(int virtualKey) {
    if (!IsCharacterKey(virtualKey))
        return;
    if (form->IsKeyDown(13)) {
        LaunchButtonClick();
    } else if (form->IsKeyDown(27)) {
        CloseButtonClick();
    }
}

void TEnterScreen::KeyDown(int virtualKey) {
    if (game)
        return;
    // The dialog sees keys before its controls.
    FormKeyPress(virtualKey);
    if (game || application.Terminated())
        return;
    if (virtualKey == 9) {
        const bool back = form->IsKeyDown(16);
        focusedBox = back ? (focusedBox + 2) % 4 + 1 : focusedBox % 4 + 1;
    } else if (virtualKey == 32) {
        CheckBoxClick(focusedBox);
    }
    Paint();
}

int TEnterScreen::HitBox(int x, int y) const {
    for (int box = 1; box <= 4; ++box) {
        const Box& b = kBoxes[static_cast<size_t>(box - 1)];
        const bool onBox = x >= b.x && x < b.x + kBoxWidth && y >= b.y && y < b.y + kBoxHeight;
        // The label is part of the option for the mouse too.
        const bool onLabel =
            x >= b.labelX && x < b.labelX + 190 && y >= b.labelY && y < b.labelY + 17;
        if (onBox || onLabel)
            return box;
    }
    return 0;
}

int TEnterScreen::HitButton(int x, int y) const {
    if (x >= kCloseX && x < kCloseX + kCloseSize && y >= kCloseY && y < kCloseY + kCloseSize) {
        return 1;
    }
    if (x >= kLaunchX && x < kLaunchX + kLaunchWidth && y >= kLaunchY &&
        y < kLaunchY + kLaunchHeight) {
        return 2;
    }
    return 0;
}

void TEnterScreen::MouseDown(int x, int y, int button) {
    if (button != 1 || game)
        return;
    pressedButton = HitButton(x, y);
    pressedBox = HitBox(x, y);
    if (pressedBox)
        focusedBox = pressedBox;
    Paint();
}

void TEnterScreen::MouseUp(int x, int y, int button) {
    if (button != 1 || game)
        return;
    const int releasedButton = HitButton(x, y);
    const int releasedBox = HitBox(x, y);
    const int wasButton = pressedButton;
    const int wasBox = pressedBox;
    pressedButton = 0;
    pressedBox = 0;
    if (wasBox && wasBox == releasedBox)
        CheckBoxClick(wasBox);
    if (wasButton && wasButton == releasedButton) {
        if (wasButton == 1) {
            CloseButtonClick();
            return;
        }
        LaunchButtonClick();
        return;
    }
    Paint();
}

void TEnterScreen::MouseMove(int x, int y) {
    if (game)
        return;
    const int hovered = HitButton(x, y);
    if (hovered != hoveredButton) {
        hoveredButton = hovered;
        Paint();
    }
}

void TEnterScreen::DrawButtonBorder(int x, int y, int width, int height, bool sunken) {
    const uint32_t light = 0xFFFFFFFF;
    const uint32_t dark = 0xFF404040;
    const uint32_t topLeft = sunken ? dark : light;
    const uint32_t bottomRight = sunken ? light : dark;
    canvas->DrawLine(x, y, x + width - 1, y, topLeft);
    canvas->DrawLine(x, y, x, y + height - 1, topLeft);
    canvas->DrawLine(x, y + height - 1, x + width - 1, y + height - 1, bottomRight);
    canvas->DrawLine(x + width - 1, y, x + width - 1, y + height - 1, bottomRight);
}

void TEnterScreen::Paint() {
    if (!canvas->Valid() || !loaded || game)
        return;
    canvas->Clear(0xFF000000);
    canvas->DrawPicture(splash, 0, 0);

    // The close glyph, centred in its flat button.
    const int gx = kCloseX + (kCloseSize - canvas->PictureWidth(closeGlyph)) / 2;
    const int gy = kCloseY + (kCloseSize - canvas->PictureHeight(closeGlyph)) / 2;
    canvas->DrawPicture(closeGlyph, gx, gy);
    if (hoveredButton == 1 || pressedButton == 1) {
        DrawButtonBorder(kCloseX, kCloseY, kCloseSize, kCloseSize, pressedButton == 1);
    }

    for (int box = 1; box <= 4; ++box) {
        const Box& b = kBoxes[static_cast<size_t>(box - 1)];
        canvas->FillRect(b.x, b.y, kBoxWidth, kBoxHeight, kGreyText);
        canvas->FillRect(b.x + 1, b.y + 1, 12, 13, 0xFFFFFFFF);
        canvas->FrameRect(b.x + 1, b.y + 1, 12, 13, 0xFF404040);
        if (Checked(box)) {
            // A check mark.
            for (int t = 0; t < 2; ++t) {
                canvas->DrawLine(b.x + 3, b.y + 7 + t, b.x + 5, b.y + 9 + t, kTextColour);
                canvas->DrawLine(b.x + 5, b.y + 9 + t, b.x + 10, b.y + 4 + t, kTextColour);
            }
        }
        if (box == focusedBox) {
            canvas->FrameRect(b.x - 1, b.y - 1, kBoxWidth + 2, kBoxHeight + 2, kTextColour);
        }
        canvas->DrawText(labelFont, b.labelX, b.labelY, b.label, kTextColour);
    }

    const std::string caption = "- jouer -";
    const int tw = canvas->TextWidth(buttonFont, caption);
    const int th = canvas->TextHeight(buttonFont);
    canvas->DrawText(buttonFont, kLaunchX + (kLaunchWidth - tw) / 2,
                     kLaunchY + (kLaunchHeight - th) / 2, caption, kTextColour);
    if (hoveredButton == 2 || pressedButton == 2) {
        DrawButtonBorder(kLaunchX, kLaunchY, kLaunchWidth, kLaunchHeight, pressedButton == 2);
    }
    canvas->Present();
}

}  // namespace torvane
