#include "base/textwindow.h"

#include <cstring>
#include <string>

#include "base/consolevideo.h"

namespace {

// Top-left, top, top-right, left, inside, right, bottom-left, bottom,
// bottom-right.
const char kFrame[] = "+-+| |+-+";

// What of a title the top row shows: a long one loses its start.
std::string ShownTitle(const char* title, int width) {
    std::string text = title;
    const long long limit = static_cast<long long>(width) - 8;
    if (static_cast<long long>(text.size()) > limit) {
        const long long keep = limit - 2 > 0 ? limit - 2 : 0;
        text = ".." + text.substr(text.size() - static_cast<size_t>(keep));
    }
    return " " + text + " ";
}

} // namespace

textWindow::textWindow(int w, int h, int a, const char* t) : width(w), height(h), attr(a), title(t) {}

textWindow::~textWindow() = default;

void textWindow::Center() {
    tvTextVideo& video = ConsoleVideo();
    x = (video.GetWidth() - width) / 2;
    y = (video.GetHeight() - height) / 2;
}

void textWindow::DrawRow(int row, const char* chars) {
    if (width < 1) return;
    tvTextVideo& video = ConsoleVideo();
    video.PutCharAt(static_cast<unsigned char>(chars[0]), x, y + row, attr);
    if (width > 2) video.PutChars(static_cast<unsigned char>(chars[1]), width - 2, attr);
    if (width > 1) video.PutCharAt(static_cast<unsigned char>(chars[2]), x + width - 1, y + row, attr);
}

void textWindow::DrawFrame() {
    if (height < 1 || width < 1) return;
    tvTextVideo& video = ConsoleVideo();
    DrawRow(0, kFrame);
    for (int row = 1; row < height - 1; ++row) {
        const int cy = y + row;
        video.PutCharAt(static_cast<unsigned char>(kFrame[3]), x, cy, attr);
        // The inside keeps what the screen showed, in the window's colours.
        for (int cx = x + 1; cx < x + width - 1; ++cx)
            video.PutCharAt(video.GetCell(cx, cy) & 0xFF, cx, cy, attr);
        if (width > 1) video.PutCharAt(static_cast<unsigned char>(kFrame[5]), x + width - 1, cy, attr);
    }
    if (height > 1) DrawRow(height - 1, kFrame + 6);
    if (title && *title) PutCentered(ShownTitle(title, width).c_str(), 0);
}

void textWindow::PutCentered(const char* text, int row) {
    if (!text) return;
    const int room = width - 2;
    if (room <= 0) return;
    std::string shown(text);
    if (static_cast<long long>(shown.size()) > room) shown.resize(static_cast<size_t>(room));
    const int column = x + (width - static_cast<int>(shown.size())) / 2;
    ConsoleVideo().PutStringAt(shown.c_str(), column, y + row, attr);
}

void textWindow::Layout() {
    if (width % 2) ++width;
}

void textWindow::Open() {
    Layout();
    Center();
    tvTextVideo& video = ConsoleVideo();
    saved = video.AllocCells(width, height);
    if (saved) video.ReadCells(x, y, width + kSavedMargin, height + kSavedMargin, saved.get());
    DrawFrame();
}

void textWindow::Close() {
    if (!saved) return;
    ConsoleVideo().WriteCells(x, y, width + kSavedMargin, height + kSavedMargin, saved.get());
    saved.reset();
}

void CloseTextWindow(textWindow* window) {
    if (!window) return;
    window->Close();
    delete window;
}
