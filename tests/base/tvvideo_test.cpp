#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "base/consolevideo.h"
#include "base/outputmode.h"
#include "base/tvcursesvideo.h"
#include "base/tvtextvideo.h"
#include "stdout_capture.h"

namespace {

// A console screen that records what reaches its overridable operations.
class SpyVideo : public tvCursesVideo {
public:
    std::vector<std::pair<char, int>> chars;
    int moves = 0;
    std::vector<int> rowsAtY;

    void PutChars(int ch, int count, int attr) override {
        for (int i = 0; i < count; ++i) chars.emplace_back(static_cast<char>(ch), attr);
        tvCursesVideo::PutChars(ch, count, attr);
    }
    void MoveCursor(int x, int y) override {
        ++moves;
        tvCursesVideo::MoveCursor(x, y);
    }
    void WriteRow(const tvCell* buf, int) override {
        EXPECT_EQ(GetX(), 3) << "every row starts at the region's column";
        rowsAtY.push_back(GetY() * 1000 + buf[0].ch);
    }
};

class VideoTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedMode_ = OutputMode;
        OutputMode = OutputModeTerminal;
    }
    void TearDown() override {
        CloseConsoleVideo();
        OutputMode = savedMode_;
    }

private:
    int savedMode_ = 0;
};

struct EscapeCase {
    const char* name;
    std::string text;
    std::string out;
    std::vector<int> attrs; // one per character written
};

TEST_F(VideoTest, WriteTextAppliesColourEscapesAndNeverWritesThem) {
    const std::vector<EscapeCase> cases = {
        {"escape selects the next piece", "A\1\14B", "AB", {0, 12}},
        {"leading escape", "\x01\x05XY", "XY", {5, 5}},
        {"escapes in a row", "A\1\2\1\3B", "AB", {0, 3}},
        {"escape byte at the end", "AB\x01", "AB", {0, 0}},
        {"escape followed by the end", "A\x01\x0C", "A", {0}},
        {"empty text", "", "", {}},
        {"no escape", "plain", "plain", {0, 0, 0, 0, 0}},
    };
    for (const EscapeCase& c : cases) {
        SpyVideo video;
        StdoutCapture capture;
        video.WriteText(c.text.c_str(), 0);
        EXPECT_EQ(capture.Stop(), c.out) << c.name;
        std::string written;
        std::vector<int> attrs;
        for (auto& [ch, attr] : video.chars) {
            written += ch;
            attrs.push_back(attr);
        }
        EXPECT_EQ(written, c.out) << c.name;
        EXPECT_EQ(attrs, c.attrs) << c.name;
        EXPECT_EQ(video.GetX(), static_cast<int>(c.out.size())) << c.name;
    }
}

TEST_F(VideoTest, WriteTextOfALongLineLosesNothing) {
    std::string text(1000, 'a');
    text += "\x01\x04";
    text += std::string(700, 'b');
    tvCursesVideo video;
    StdoutCapture capture;
    video.WriteText(text.c_str(), 0);
    EXPECT_EQ(capture.Stop(), std::string(1000, 'a') + std::string(700, 'b'));
}

TEST_F(VideoTest, QuietModeWritesNothingButPutCharsStillAdvances) {
    OutputMode = OutputModeQuiet;
    tvCursesVideo video;
    EXPECT_EQ(OutputMode, OutputModeQuiet);
    StdoutCapture capture;
    video.PutChars('x', 5, 7);
    EXPECT_EQ(video.GetX(), 5);
    video.PutString("abc", 7);
    EXPECT_EQ(video.GetX(), 5);
    video.WriteText("text\x01\x02more", 7);
    video.PutRawString("raw");
    video.NewLine(1, 7);
    EXPECT_EQ(video.GetX(), 0);
    video.PutChars('y', 2, 7);
    EXPECT_EQ(video.GetCell(0, 0), 0);
    EXPECT_EQ(capture.Stop(), "");
    EXPECT_EQ(video.GetX(), 2);
}

TEST_F(VideoTest, TerminalModeWritesCharactersAndLineEnds) {
    tvCursesVideo video;
    StdoutCapture capture;
    video.PutChars('-', 600, 0);
    video.NewLine(1, 0);
    EXPECT_EQ(video.GetX(), 0);
    video.PutStringAt("at", 10, 3, 0);
    video.PutRawString("raw");
    EXPECT_EQ(video.GetX(), 15);
    EXPECT_EQ(video.GetY(), 3);
    video.PrintText(nullptr, 0);
    video.WriteText(nullptr, 0);
    video.PutString(nullptr, 0);
    EXPECT_EQ(capture.Stop(), std::string(600, '-') + "\natraw");
}

TEST_F(VideoTest, ConstructionTurnsAnUnsetModeIntoTerminal) {
    OutputMode = 0;
    tvCursesVideo video;
    EXPECT_EQ(OutputMode, OutputModeTerminal);
}

TEST_F(VideoTest, CursorMovesWaitForTheOutermostEndUpdate) {
    SpyVideo video;
    video.BeginUpdate();
    video.BeginUpdate();
    video.SetX(4);
    video.GotoXY(5, 6);
    EXPECT_EQ(video.moves, 0);
    video.EndUpdate();
    video.SetY(7);
    EXPECT_EQ(video.moves, 0);
    video.EndUpdate();
    video.SetX(8);
    EXPECT_EQ(video.moves, 1);
    EXPECT_EQ(video.GetX(), 8);
    EXPECT_EQ(video.GetY(), 7);

    // An unmatched EndUpdate must not leave the depth below zero.
    video.EndUpdate();
    video.BeginUpdate();
    video.SetX(1);
    EXPECT_EQ(video.moves, 1);
    video.EndUpdate();
    video.SetX(2);
    EXPECT_EQ(video.moves, 2);
}

TEST_F(VideoTest, AttributeHalves) {
    tvTextVideo video;
    video.SetAttribute(0x07);
    video.SetBackground(2);
    EXPECT_EQ(video.GetAttribute(), 0x27);
    video.SetForeground(0x0E);
    EXPECT_EQ(video.GetAttribute(), 0x2E);
}

TEST_F(VideoTest, NewScreenIsBlankCellsInAttributeSeven) {
    tvCursesVideo video;
    EXPECT_EQ(video.GetWidth(), 80);
    EXPECT_EQ(video.GetHeight(), 25);
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 80; ++x) ASSERT_EQ(video.GetCell(x, y), 0x0720) << x << "," << y;
}

TEST_F(VideoTest, ReadCellsOutsideTheScreenReadZero) {
    tvCursesVideo video;
    // Straddles the bottom-right corner: only the top-left cell lies inside.
    tvCell cells[4];
    for (tvCell& c : cells) c = tvCell{0xEE, 0xEE};
    video.ReadCells(79, 24, 2, 2, cells);
    EXPECT_EQ(cells[0].ch, 0x20);
    EXPECT_EQ(cells[0].attr, 7);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(cells[i].ch, 0) << i;
        EXPECT_EQ(cells[i].attr, 0) << i;
    }
    EXPECT_EQ(video.GetCell(-1, 0), 0);
    EXPECT_EQ(video.GetCell(0, 25), 0);
    // A taller screen does not make the buffer larger.
    video.SetHeight(50);
    EXPECT_EQ(video.GetCell(0, 40), 0);
}

TEST_F(VideoTest, BaseReadCellsZeroesTheBuffer) {
    tvTextVideo video;
    tvCell cells[6];
    for (tvCell& c : cells) c = tvCell{1, 1};
    video.ReadCells(0, 0, 3, 2, cells);
    for (const tvCell& c : cells) EXPECT_EQ(c.ch + c.attr, 0);
}

TEST_F(VideoTest, AllocCellsHoldsTheRegionAndItsBorder) {
    tvTextVideo video;
    auto cells = video.AllocCells(3, 2);
    ASSERT_TRUE(cells);
    for (int i = 0; i < 5 * 4; ++i) EXPECT_EQ(cells[i].ch + cells[i].attr, 0);
    EXPECT_FALSE(video.AllocCells(-3, 2));
    EXPECT_FALSE(video.AllocCells(0x7FFFFFFF, 0x7FFFFFFF));
}

TEST_F(VideoTest, WriteCellsWritesRowByRowFromTheRegionsCorner) {
    SpyVideo video;
    tvCell cells[6] = {{'a', 1}, {'b', 1}, {'c', 1}, {'d', 1}, {'e', 1}, {'f', 1}};
    video.WriteCells(3, 4, 2, 3, cells);
    EXPECT_EQ(video.rowsAtY, (std::vector<int>{4000 + 'a', 5000 + 'c', 6000 + 'e'}));
    EXPECT_EQ(video.GetY(), 7);

    OutputMode = OutputModeQuiet;
    video.rowsAtY.clear();
    video.WriteCells(3, 4, 2, 3, cells);
    EXPECT_TRUE(video.rowsAtY.empty());
}

TEST_F(VideoTest, ShrinkingTheScreenKeepsTheCursorOnIt) {
    tvTextVideo video;
    video.GotoXY(0, 24);
    video.SetHeight(24);
    EXPECT_EQ(video.GetY(), 23);
    video.GotoXY(0, 20);
    video.SetHeight(10);
    EXPECT_EQ(video.GetY(), 9);
    video.SetHeight(30);
    EXPECT_EQ(video.GetY(), 9);
    video.SetHeight(0);
    EXPECT_EQ(video.GetY(), 0);
}

TEST_F(VideoTest, ConsoleIsSilentBeforeOpenAndAfterClose) {
    CloseConsoleVideo();
    StdoutCapture capture;
    ConsoleVideo().WriteText("before", 0);
    ConsoleVideo().NewLine(1, 0);

    ASSERT_EQ(OpenConsoleVideo(), 0);
    EXPECT_EQ(ConsoleVideo().GetAttribute(), 3);
    ConsoleVideo().WriteText("open", 0);
    ConsoleVideo().NewLine(1, 0);

    // Opening again replaces the screen.
    ConsoleVideo().PutChars('x', 3, 0);
    ASSERT_EQ(OpenConsoleVideo(), 0);
    EXPECT_EQ(ConsoleVideo().GetX(), 0);
    ConsoleVideo().WriteText("again", 0);

    CloseConsoleVideo();
    CloseConsoleVideo();
    ConsoleVideo().WriteText("after", 0);
    ConsoleVideo().NewLine(1, 0);
    EXPECT_EQ(capture.Stop(), "open\nxxxagain");
}

TEST_F(VideoTest, ConsoleFollowsTheOutputMode) {
    ASSERT_EQ(OpenConsoleVideo(), 0);
    StdoutCapture capture;
    OutputMode = OutputModeQuiet;
    ConsoleVideo().WriteText("quiet", 0);
    ConsoleVideo().NewLine(1, 0);
    OutputMode = OutputModeTerminal;
    ConsoleVideo().WriteText("loud", 0);
    EXPECT_EQ(capture.Stop(), "loud");
}

} // namespace
