#include "base/tvcursesvideo.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <unistd.h>

#include "base/outputmode.h"

namespace {

// Straight to the descriptor: nothing stays buffered to be written twice by a
// forked child, and the text is out before the next line starts.
void WriteStdout(const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(STDOUT_FILENO, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

} // namespace

tvCursesVideo::tvCursesVideo() : cells_(new (std::nothrow) tvCell[kColumns * kRows]) {
    width_ = kColumns;
    height_ = kRows;
    if (OutputMode != OutputModeQuiet) OutputMode = OutputModeTerminal;
    if (cells_)
        for (int i = 0; i < kColumns * kRows; ++i) cells_[i] = tvCell{0x20, 7};
}

tvCursesVideo::~tvCursesVideo() = default;

void tvCursesVideo::MoveCursor(int x, int y) {
    x_ = x;
    y_ = y;
}

void tvCursesVideo::PutChars(int ch, int count, int attr) {
    if (count <= 0) return;
    if (!IsQuietOutput()) {
        char run[256];
        std::memset(run, ch, sizeof run);
        for (int left = count; left > 0;) {
            int n = left < static_cast<int>(sizeof run) ? left : static_cast<int>(sizeof run);
            WriteStdout(run, static_cast<std::size_t>(n));
            left -= n;
        }
    }
    tvTextVideo::PutChars(ch, count, attr);
}

void tvCursesVideo::ReadCells(int x, int y, int w, int h, tvCell* buf) {
    if (!buf || w <= 0 || h <= 0) return;
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            // Wide arithmetic: the caller's coordinates may be anything.
            long long cx = static_cast<long long>(x) + col;
            long long cy = static_cast<long long>(y) + row;
            bool inside = cells_ && cx >= 0 && cy >= 0 && cx < kColumns && cy < kRows;
            buf[static_cast<std::size_t>(row) * static_cast<std::size_t>(w) + static_cast<std::size_t>(col)] =
                inside ? cells_[cy * kColumns + cx] : tvCell{0, 0};
        }
    }
}

void tvCursesVideo::Scroll(int, int, int, int, int, int) {
    x_ = 0;
    if (!IsQuietOutput()) WriteStdout("\n", 1);
}

void tvCursesVideo::OnClose() {}

void tvCursesVideo::WriteRow(const tvCell*, int) {}

void tvCursesVideo::PutRawString(const char* str) {
    if (IsQuietOutput() || !str) return;
    std::size_t len = std::strlen(str);
    WriteStdout(str, len);
    x_ = static_cast<int>(static_cast<unsigned>(x_) + static_cast<unsigned>(len));
}
