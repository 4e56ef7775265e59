// Key and mouse events for the text dialogs, and where they come from.
#pragma once

enum : int {
    EventMouse = 1,
    EventKey = 2,
};

// Key codes the dialogs act on.
enum : int {
    KeyTab = 9,
    KeyEnter = 13,
    KeyEscape = 27,
    KeySpace = 32,
    // Extended keys that move the focus like Tab does, or back.
    KeyFocusNext1 = 1101,
    KeyFocusNext2 = 1122,
    KeyFocusPrevious1 = 1039,
    KeyFocusPrevious2 = 1099,
};

constexpr int kMouseLeftButton = 1;

class tvEvent;

// Where key and mouse events come from; the process has at most one.
class tvEventSource {
public:
    virtual ~tvEventSource() = default;
    // Fill event and return nonzero when a key press / a mouse event is
    // waiting; 0 otherwise, without waiting.
    virtual int PollKey(tvEvent& event) = 0;
    virtual int PollMouse(tvEvent& event) = 0;
};

// Makes source (null for none) the process's event source; returns the one
// it replaces. Without a source no event ever arrives.
tvEventSource* SetEventSource(tvEventSource* source);

class tvEvent {
public:
    tvEvent() = default;
    virtual ~tvEvent() = default;

    // Ask the event source.
    virtual int PollKey();
    virtual int PollMouse();
    virtual void Clear();

    int type = 0;
    int key = 0;
    int mouseX = 0;
    int mouseY = 0;
    int buttons = 0; // bit 0: the left button
    int extra1 = 0;
    int extra2 = 0;
};

// Clears event, then polls keys and mouse every 100 ms until one reports an
// event; returns its type.
int WaitEvent(tvEvent& event);
// Waits for a key press; returns its code.
int GetKey();
