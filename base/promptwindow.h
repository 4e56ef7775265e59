// A window with text lines and push buttons, and its own event loop.
#pragma once

#include <vector>

#include "base/textbutton.h"
#include "base/textwindow.h"
#include "base/tvptrlist.h"
#include "base/tvstrlist.h"

class promptWindow : public textWindow {
public:
    promptWindow(int width, int attr, const char* title);

    // Width and height from the lines and buttons, at most kMaxWidth wide.
    void Layout() override;
    ~promptWindow() override;
    // The window, its buttons (the first focused) and its lines.
    void Open() override;
    // The button is not owned; the new number of buttons.
    virtual int AddButton(textButton* button);
    virtual int AddLine(const char* text);
    // Shows the window until a button with a result is pressed or the
    // window is closed; the result, 0 for a close or Esc.
    virtual int Run();

    static constexpr int kMaxWidth = 76;
    static constexpr int kMinButtonWidth = 10;

    tvPointerList buttons{1};
    tvStringList lines{1};

private:
    std::vector<textButton*> ButtonList();
};
