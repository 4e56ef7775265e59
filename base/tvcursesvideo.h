// The console screen: plain text on standard output over an 80 x 25 cell buffer.
#pragma once

#include <memory>

#include "base/tvtextvideo.h"

class tvCursesVideo : public tvTextVideo {
public:
    static constexpr int kColumns = 80;
    static constexpr int kRows = 25;

    // Switches the output mode to terminal unless it is quiet.
    tvCursesVideo();
    ~tvCursesVideo() override;

    void MoveCursor(int x, int y) override;
    void PutChars(int ch, int count, int attr) override;
    // Cells outside the buffer read as zero.
    void ReadCells(int x, int y, int w, int h, tvCell* buf) override;
    void Scroll(int x, int y, int w, int h, int lines, int attr) override;
    void OnClose() override;
    void WriteRow(const tvCell* buf, int w) override;

    void PutRawString(const char* str);

private:
    // Null when it could not be allocated: every cell then reads as zero.
    std::unique_ptr<tvCell[]> cells_;
};
