#include "base/textbutton.h"

#include <utility>

#include "base/consolevideo.h"

namespace {

constexpr int kBrightWhite = 15;
constexpr int kDarkGrey = 8;

} // namespace

textButton::textButton(int r, const char* text, int a, Action act)
    : attr(a), result(r), label(text ? text : ""), action(std::move(act)) {}

textButton::~textButton() = default;

void textButton::Draw(int state, int background) {
    if (width < 1) return;
    tvTextVideo& video = ConsoleVideo();
    std::string face(static_cast<size_t>(width), ' ');
    const size_t shown = label.size() < face.size() ? label.size() : face.size();
    face.replace((face.size() - shown) / 2, shown, label, 0, shown);
    const int faceAttr = state == ButtonFocused ? (attr & 0xF0) | kBrightWhite : attr;
    if (state == ButtonPressed) {
        video.PutCharAt(' ', x, y, (background & 0xF0) | kDarkGrey);
        video.PutStringAt(face.c_str(), x + 1, y, faceAttr);
    } else {
        video.PutStringAt(face.c_str(), x, y, faceAttr);
        video.PutCharAt(' ', x + width, y, background);
    }
}

bool textButton::Covers(int column, int row) const {
    return row == y && column >= x && column < x + width;
}
