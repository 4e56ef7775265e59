// A screen that keeps its cells, for tests of what is drawn on the console.
#pragma once

#include <string>
#include <vector>

#include "base/tvtextvideo.h"

namespace {

class CellVideo : public tvTextVideo {
public:
    static constexpr int kColumns = 80;
    static constexpr int kRows = 25;

    CellVideo() : cells_(kColumns * kRows, tvCell{' ', 7}) {
        width_ = kColumns;
        height_ = kRows;
    }

    void PutChars(int ch, int count, int attr) override {
        for (int i = 0; i < count; ++i)
            Store(x_ + i, y_, tvCell{static_cast<unsigned char>(ch), static_cast<unsigned char>(attr)});
        tvTextVideo::PutChars(ch, count, attr);
    }
    void ReadCells(int x, int y, int w, int h, tvCell* buf) override {
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col)
                *buf++ = Inside(x + col, y + row) ? At(x + col, y + row) : tvCell{0, 0};
    }
    void WriteRow(const tvCell* buf, int w) override {
        for (int col = 0; col < w; ++col) Store(x_ + col, y_, buf[col]);
    }

    // Fills the screen with a pattern that no dialog draws, so that a
    // restore can be told from a redraw.
    void FillPattern() {
        for (int y = 0; y < kRows; ++y)
            for (int x = 0; x < kColumns; ++x)
                At(x, y) = tvCell{static_cast<unsigned char>('a' + (x + y) % 26),
                                  static_cast<unsigned char>(1 + (x * 7 + y) % 14)};
    }
    std::vector<tvCell> Snapshot() const { return cells_; }
    const tvCell& Cell(int x, int y) const { return cells_[static_cast<size_t>(y * kColumns + x)]; }
    // The characters of row y from column x, count of them.
    std::string Text(int x, int y, int count) const {
        std::string text;
        for (int i = 0; i < count; ++i) text += static_cast<char>(Cell(x + i, y).ch);
        return text;
    }
    // Writes that fell outside the screen.
    int Outside() const { return outside_; }

private:
    static bool Inside(int x, int y) { return x >= 0 && y >= 0 && x < kColumns && y < kRows; }
    tvCell& At(int x, int y) { return cells_[static_cast<size_t>(y * kColumns + x)]; }
    const tvCell& At(int x, int y) const { return cells_[static_cast<size_t>(y * kColumns + x)]; }
    void Store(int x, int y, tvCell cell) {
        if (Inside(x, y))
            At(x, y) = cell;
        else
            ++outside_;
    }

    std::vector<tvCell> cells_;
    int outside_ = 0;
};

} // namespace

inline bool operator==(const tvCell& a, const tvCell& b) {
    return a.ch == b.ch && a.attr == b.attr;
}
