// The launcher dialog: the splash picture, four display and sound options, play and close.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/Main.h"
#include "platform/Application.h"
#include "platform/Canvas.h"

namespace torvane {

class TEnterScreen {
  public:
    using GameWindowFactory = std::function<std::unique_ptr<TMainScreen>(TEnterScreen&)>;

    // Builds the dialog (hidden until Show), loads its pictures and sets the four boxes from the
    // settings, writing back every option that reads as true. When a picture cannot be loaded
    // the error is shown and Loaded() is false: the program then ends without opening a window.
    explicit TEnterScreen(platform::Application& application, GameWindowFactory openGame = {});
    ~TEnterScreen();
    TEnterScreen(const TEnterScreen&) = delete;
    TEnterScreen& operator=(const TEnterScreen&) = delete;

    bool Loaded() const { return loaded; }
    void Show();
    platform::Form* Form() const { return form.get(); }
    TMainScreen* Game() const { return game.get(); }
    platform::Canvas* Surface() const { return canvas.get(); }

    // Event handlers. Check boxes are numbered 1..4 as in the layout.
    void CloseButtonClick();
    void LaunchButtonClick();
    void CheckBoxClick(int box);
    void FormKeyPress(int virtualKey);
    bool Checked(int box) const;
    int FocusedBox() const { return focusedBox; }

    void Paint();

  private:
    struct Box {
        int x;
        int y;
        int labelX;
        int labelY;
        const char* label;
        const char* setting;
        bool fallback;
    };
    static const std::array<Box, 4> kBoxes;

    void SetChecked(int box, bool checked);
    int HitBox(int x, int y) const;
    int HitButton(int x, int y) const;  // 1 close, 2 launch, 0 none
    void MouseDown(int x, int y, int button);
    void MouseUp(int x, int y, int button);
    void MouseMove(int x, int y);
    void KeyDown(int virtualKey);
    void DrawButtonBorder(int x, int y, int width, int height, bool sunken);

    platform::Application& application;
    GameWindowFactory openGame;
    std::unique_ptr<platform::Form> form;
    std::unique_ptr<platform::Canvas> canvas;
    std::unique_ptr<TMainScreen> game;
    int splash = -1;
    int closeGlyph = -1;
    int labelFont = -1;
    int buttonFont = -1;
    std::array<bool, 4> checked{};
    int focusedBox = 1;
    int hoveredButton = 0;
    int pressedButton = 0;
    int pressedBox = 0;
    bool loaded = false;
};

}  // namespace torvane
