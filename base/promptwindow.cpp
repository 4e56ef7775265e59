#include "base/promptwindow.h"

#include <algorithm>
#include <cstring>

#include "base/consolevideo.h"
#include "base/tvevent.h"

namespace {

constexpr int kButtonPadding = 2;
constexpr int kButtonGap = 4;
constexpr int kFrameRows = 7;
constexpr int kFirstLineRow = 2;
constexpr int kButtonRowFromBottom = 4;
// The close box on the top row: columns 2 to 4 of the window.
constexpr int kCloseBoxFirst = 2;
constexpr int kCloseBoxLast = 4;

} // namespace

promptWindow::promptWindow(int w, int a, const char* t) : textWindow(w, 0, a, t) {}

promptWindow::~promptWindow() = default;

std::vector<textButton*> promptWindow::ButtonList() {
    std::vector<textButton*> list;
    for (void* p = buttons.FirstPtr(); p; p = buttons.NextPtr()) list.push_back(static_cast<textButton*>(p));
    return list;
}

void promptWindow::Layout() {
    size_t longest = 0;
    for (const char* line = static_cast<const char*>(lines.First()); line;
         line = static_cast<const char*>(lines.Next()))
        longest = std::max(longest, std::strlen(line));
    width = static_cast<int>(std::min<size_t>(longest + 1, kMaxWidth));
    height = static_cast<int>(lines.Count()) + kFrameRows;

    std::vector<textButton*> list = ButtonList();
    int buttonWidth = kMinButtonWidth;
    for (textButton* b : list)
        buttonWidth = std::max(buttonWidth, static_cast<int>(std::min<size_t>(b->label.size(), kMaxWidth)) +
                                                kButtonPadding);
    for (textButton* b : list) b->width = buttonWidth;
    const int needed =
        list.empty() ? kButtonGap : (buttonWidth + kButtonGap) * static_cast<int>(list.size()) + kButtonGap;
    width = std::min(std::max(width, needed), kMaxWidth);
    textWindow::Layout();
}

void promptWindow::Open() {
    textWindow::Open();
    std::vector<textButton*> list = ButtonList();
    const int row = y + height - kButtonRowFromBottom;
    const int count = static_cast<int>(list.size());
    for (int i = 0; i < count; ++i) {
        textButton* b = list[static_cast<size_t>(i)];
        if (count == 1) {
            b->x = x + (width - b->width) / 2;
        } else {
            const int column = width / count;
            b->x = x + i * column + column / 4;
        }
        b->y = row;
        b->Draw(i == 0 ? ButtonFocused : ButtonNormal, attr);
    }
    int lineRow = kFirstLineRow;
    for (const char* line = static_cast<const char*>(lines.First()); line;
         line = static_cast<const char*>(lines.Next()))
        PutCentered(line, lineRow++);
}

int promptWindow::AddButton(textButton* button) {
    return static_cast<int>(buttons.AddPtr(button));
}

int promptWindow::AddLine(const char* text) {
    return static_cast<int>(lines.AddString(text ? text : ""));
}

int promptWindow::Run() {
    tvTextVideo& video = ConsoleVideo();
    const int cursorX = video.GetX();
    const int cursorY = video.GetY();
    Open();
    std::vector<textButton*> list = ButtonList();
    size_t focus = 0;
    int result = 0;
    // Draws the press; true when the button ends the dialog.
    auto press = [&](textButton* b) {
        b->Draw(ButtonPressed, attr);
        b->Draw(ButtonFocused, attr);
        if (b->action) b->action(*b);
        if (b->result == 0) return false;
        result = b->result;
        return true;
    };
    auto moveFocus = [&](size_t to) {
        list[focus]->Draw(ButtonNormal, attr);
        focus = to;
        list[focus]->Draw(ButtonFocused, attr);
    };

    tvEvent event;
    for (bool done = false; !done;) {
        const int type = WaitEvent(event);
        if (type == EventMouse && (event.buttons & kMouseLeftButton)) {
            if (event.mouseY == y && event.mouseX >= x + kCloseBoxFirst &&
                event.mouseX <= x + kCloseBoxLast) {
                result = KeyEscape;
                break;
            }
            for (size_t i = 0; i < list.size(); ++i) {
                if (!list[i]->Covers(event.mouseX, event.mouseY)) continue;
                list[focus]->Draw(ButtonNormal, attr);
                focus = i;
                done = press(list[focus]);
                break;
            }
            continue;
        }
        if (type != EventKey) continue;
        switch (event.key) {
        case KeyEnter:
        case KeySpace:
            if (!list.empty()) done = press(list[focus]);
            break;
        case KeyEscape:
            result = KeyEscape;
            done = true;
            break;
        case KeyTab:
        case KeyFocusNext1:
        case KeyFocusNext2:
            if (!list.empty()) moveFocus((focus + 1) % list.size());
            break;
        case KeyFocusPrevious1:
        case KeyFocusPrevious2:
            if (!list.empty()) moveFocus((focus + list.size() - 1) % list.size());
            break;
        default:
            break;
        }
    }
    Close();
    video.GotoXY(cursorX, cursorY);
    return result == KeyEscape ? 0 : result;
}
