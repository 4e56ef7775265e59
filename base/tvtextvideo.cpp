#include "base/tvtextvideo.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "base/outputmode.h"

namespace {

// Coordinates wrap rather than overflow on a console that never gets a new line.
int Advance(int pos, int count) {
    return static_cast<int>(static_cast<unsigned>(pos) + static_cast<unsigned>(count));
}

// A screen region larger than this is a caller's mistake, not a screen.
constexpr std::uint64_t kMaxRegionCells = 1u << 22;

} // namespace

tvTextVideo::~tvTextVideo() = default;

void tvTextVideo::MoveCursor(int, int) {}
void tvTextVideo::RestoreMode() {}
void tvTextVideo::OnEndUpdate() {}
void tvTextVideo::OnBeginUpdate() {}

std::unique_ptr<tvCell[]> tvTextVideo::AllocCells(int w, int h) {
    if (w < 0 || h < 0) return nullptr;
    std::uint64_t cells = (static_cast<std::uint64_t>(w) + 2) * (static_cast<std::uint64_t>(h) + 2);
    if (cells > kMaxRegionCells) return nullptr;
    return std::unique_ptr<tvCell[]>(new (std::nothrow) tvCell[static_cast<std::size_t>(cells)]());
}

int tvTextVideo::GetX() const {
    return x_;
}
int tvTextVideo::GetY() const {
    return y_;
}
int tvTextVideo::GetHeight() const {
    return height_;
}
int tvTextVideo::GetWidth() const {
    return width_;
}
int tvTextVideo::GetAttribute() const {
    return attribute_;
}
void tvTextVideo::SetAttribute(int a) {
    attribute_ = a;
}
void tvTextVideo::SetForeground(int v) {
    attribute_ = (attribute_ & 0xF0) | v;
}
void tvTextVideo::SetBackground(int v) {
    attribute_ = (attribute_ & 0x0F) | (v << 4);
}

void tvTextVideo::SetX(int x) {
    x_ = x;
    if (updateDepth_ == 0) MoveCursor(x_, y_);
}

void tvTextVideo::SetY(int y) {
    y_ = y;
    if (updateDepth_ == 0) MoveCursor(x_, y_);
}

void tvTextVideo::GotoXY(int x, int y) {
    x_ = x;
    y_ = y;
    if (updateDepth_ == 0) MoveCursor(x_, y_);
}

void tvTextVideo::PutChar(int ch, int attr) {
    PutChars(ch, 1, attr);
}

void tvTextVideo::PutCharAt(int ch, int x, int y, int attr) {
    GotoXY(x, y);
    PutChars(ch, 1, attr);
}

void tvTextVideo::PutChars(int, int count, int) {
    if (count > 0) x_ = Advance(x_, count);
}

void tvTextVideo::PutCharsAt(int ch, int x, int y, int count, int attr) {
    GotoXY(x, y);
    PutChars(ch, count, attr);
}

void tvTextVideo::PutString(const char* str, int attr) {
    if (IsQuietOutput() || !str) return;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(str); *p; ++p) PutChars(*p, 1, attr);
}

void tvTextVideo::PutStringAt(const char* str, int x, int y, int attr) {
    GotoXY(x, y);
    PutString(str, attr);
}

std::uint16_t tvTextVideo::GetCell(int x, int y) {
    if (IsQuietOutput()) return 0;
    tvCell cell{0, 0};
    ReadCells(x, y, 1, 1, &cell);
    return static_cast<std::uint16_t>(cell.ch | (cell.attr << 8));
}

void tvTextVideo::ReadCells(int, int, int w, int h, tvCell* buf) {
    if (IsQuietOutput() || !buf || w <= 0 || h <= 0) return;
    std::memset(buf, 0, static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * sizeof *buf);
}

void tvTextVideo::WriteCells(int x, int y, int w, int h, const tvCell* buf) {
    if (IsQuietOutput()) return;
    GotoXY(x, y);
    WriteRows(buf, w, h);
}

void tvTextVideo::EndUpdate() {
    if (updateDepth_ == 0) {
        OnEndUpdate();
        return;
    }
    if (--updateDepth_ == 0) OnEndUpdate();
}

void tvTextVideo::BeginUpdate() {
    if (updateDepth_ == 0) OnBeginUpdate();
    ++updateDepth_;
}

void tvTextVideo::Scroll(int, int, int, int, int, int) {}
void tvTextVideo::OnClose() {}

void tvTextVideo::WriteText(const char* text, int attr) {
    if (IsQuietOutput() || !text) return;
    // Pieces go out in bounded chunks: the text can be as long as a log line.
    char piece[256];
    std::size_t used = 0;
    int pieceAttr = attr;
    auto flush = [&] {
        if (!used) return;
        piece[used] = '\0';
        PutString(piece, pieceAttr);
        used = 0;
    };
    for (const char* p = text; *p; ++p) {
        if (*p == '\1') {
            flush();
            // An escape cut short by the end of the text ends the output.
            if (p[1] == '\0' || p[2] == '\0') return;
            pieceAttr = static_cast<unsigned char>(p[1]);
            ++p;
            continue;
        }
        piece[used++] = *p;
        if (used == sizeof piece - 1) flush();
    }
    flush();
}

void tvTextVideo::PrintText(const char* text, int attr) {
    lineFlag_ = 0;
    if (text) WriteText(text, attr);
}

void tvTextVideo::NewLine(int n, int attr) {
    x_ = 0;
    if (!IsQuietOutput()) Scroll(0, 0, width_, height_, n, attr);
}

void tvTextVideo::ClearLine() {}

void tvTextVideo::SetHeight(int h) {
    height_ = h;
    // The cursor stays on the screen, however far it shrinks.
    if (h <= y_) y_ = h > 0 ? h - 1 : 0;
}

void tvTextVideo::WriteRow(const tvCell*, int) {}

void tvTextVideo::WriteRows(const tvCell* buf, int w, int h) {
    if (IsQuietOutput() || !buf || w <= 0) return;
    int startX = x_;
    for (int row = 0; row < h; ++row) {
        x_ = startX;
        WriteRow(buf, w);
        ++y_;
        buf += w;
    }
}
