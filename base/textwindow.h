// A framed window on the console video that saves and restores the screen
// under it.
#pragma once

#include <memory>

#include "base/tvtextvideo.h"

class textWindow {
public:
    textWindow(int width, int height, int attr, const char* title);
    textWindow(const textWindow&) = delete;
    textWindow& operator=(const textWindow&) = delete;

    // Declared in the order of the virtual table the dialogs were built on.
    virtual void Center();
    virtual void Hook() {}
    // One row of the window: chars[0], chars[1] repeated width - 2 times,
    // chars[2].
    virtual void DrawRow(int row, const char* chars);
    virtual void DrawFrame();
    // text centred on a row of the window, cut to fit inside the frame.
    virtual void PutCentered(const char* text, int row);
    virtual void Layout();
    virtual ~textWindow();
    // Lays out, centres, saves the screen under the window and draws it.
    virtual void Open();
    // Puts the saved screen back.
    virtual void Close();

    // The window and two more columns and rows are saved.
    static constexpr int kSavedMargin = 2;

    std::unique_ptr<tvCell[]> saved;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int attr = 0;
    const char* title = nullptr; // not owned
};

// Close, then delete window.
void CloseTextWindow(textWindow* window);
