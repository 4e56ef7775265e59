// A push button of the text dialogs.
#pragma once

#include <functional>
#include <string>

enum : int {
    ButtonFocused = 0,
    ButtonNormal = 1,
    ButtonPressed = 2,
};

class textButton {
public:
    using Action = std::function<void(textButton&)>;

    textButton(int result, const char* label, int attr, Action action = nullptr);
    textButton(const textButton&) = delete;
    textButton& operator=(const textButton&) = delete;
    virtual ~textButton();

    // Draws the button in a state of the enum above; background is the
    // attribute of what lies behind it. A pressed button moves one column
    // right, leaving a dark grey shadow cell; the others clear the cell to
    // their right, where a pressed face ended.
    virtual void Draw(int state, int background);

    // Whether the screen cell (column, row) lies on the button.
    bool Covers(int column, int row) const;

    int x = 0;
    int y = 0;
    int attr = 0;
    int result = 0;
    int width = 0;
    std::string label;
    Action action;
};
