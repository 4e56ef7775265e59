#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/consolevideo.h"
#include "base/messages.h"
#include "base/outputmode.h"
#include "base/promptwindow.h"
#include "base/questionbox.h"
#include "base/textbutton.h"
#include "base/textwindow.h"
#include "base/tvevent.h"
#include "cell_video.h"

namespace {

// Events a test lays out in advance. Each may carry a check, run when the
// event is handed over (the dialog is then open). Once the script is used
// up it fails the test and answers Esc, so that no dialog waits for ever.
class ScriptedEvents : public tvEventSource {
public:
    struct Step {
        int type;
        int key;
        int x;
        int y;
        int buttons;
        std::function<void()> check;
    };

    static Step Key(int key, std::function<void()> check = nullptr) {
        return Step{EventKey, key, 0, 0, 0, std::move(check)};
    }
    static Step Click(int x, int y, int buttons = kMouseLeftButton, std::function<void()> check = nullptr) {
        return Step{EventMouse, 0, x, y, buttons, std::move(check)};
    }

    ScriptedEvents() { previous_ = SetEventSource(this); }
    ~ScriptedEvents() override {
        SetEventSource(previous_);
        EXPECT_TRUE(steps_.empty()) << steps_.size() << " scripted events were never asked for";
    }
    ScriptedEvents(const ScriptedEvents&) = delete;
    ScriptedEvents& operator=(const ScriptedEvents&) = delete;

    void Add(Step step) { steps_.push_back(std::move(step)); }
    void Add(std::vector<Step> steps) {
        for (Step& s : steps) Add(std::move(s));
    }

    int PollKey(tvEvent& event) override {
        if (steps_.empty()) {
            ADD_FAILURE() << "the dialog asked for more events than scripted";
            event.type = EventKey;
            event.key = KeyEscape;
            return 1;
        }
        return steps_.front().type == EventKey ? Deliver(event) : 0;
    }
    int PollMouse(tvEvent& event) override {
        return !steps_.empty() && steps_.front().type == EventMouse ? Deliver(event) : 0;
    }

private:
    int Deliver(tvEvent& event) {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        if (step.check) step.check();
        event.type = step.type;
        event.key = step.key;
        event.mouseX = step.x;
        event.mouseY = step.y;
        event.buttons = step.buttons;
        return 1;
    }

    std::deque<Step> steps_;
    tvEventSource* previous_ = nullptr;
};

using Step = ScriptedEvents::Step;

// A console that keeps its cells, filled with a pattern no dialog draws.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedMode_ = OutputMode;
        OutputMode = OutputModeTerminal;
        ASSERT_EQ(CreateMessageCatalogue(), 1);
        auto video = std::make_unique<CellVideo>();
        video_ = video.get();
        ASSERT_EQ(UseConsoleVideo(std::move(video)), 0);
        video_->FillPattern();
        video_->GotoXY(3, 4);
        before_ = video_->Snapshot();
    }
    void TearDown() override {
        CloseConsoleVideo();
        FreeMessageCatalogue();
        OutputMode = savedMode_;
    }

    // The screen is as it was before the dialog, and the cursor too after a
    // dialog's run.
    void ExpectRestored(const std::string& why, bool cursor = true) {
        EXPECT_TRUE(video_->Snapshot() == before_) << why << ": the screen under the dialog is back";
        if (cursor) {
            EXPECT_EQ(video_->GetX(), 3) << why;
            EXPECT_EQ(video_->GetY(), 4) << why;
        }
        EXPECT_EQ(video_->Outside(), 0) << why << ": nothing was written outside the screen";
    }

    CellVideo* video_ = nullptr;
    std::vector<tvCell> before_;

private:
    int savedMode_ = 0;
};

constexpr int kFrameAttr = 0x1F;
constexpr int kButtonAttr = 112;
constexpr int kFocusedAttr = 0x7F;

// Two lines and three buttons: 12 wide from the lines, (10 + 4) x 3 + 4 = 46
// from the buttons; 2 + 7 rows. Centred on 80 x 25: x 17, y 8.
struct ThreeButtonDialog {
    textButton one{5, "One", kButtonAttr};
    textButton two{6, "Two", kButtonAttr};
    textButton three{7, "Three", kButtonAttr};
    promptWindow window{0, kFrameAttr, "Title"};

    ThreeButtonDialog() {
        window.AddLine("Hello world");
        window.AddLine("Second");
        window.AddButton(&one);
        window.AddButton(&two);
        window.AddButton(&three);
    }
};

TEST_F(DialogTest, RunDrawsTheWindowAndPutsTheScreenBack) {
    ThreeButtonDialog d;
    ScriptedEvents events;
    events.Add(ScriptedEvents::Key(KeyTab, [&] {
        const promptWindow& w = d.window;
        EXPECT_EQ(w.width, 46);
        EXPECT_EQ(w.height, 9);
        EXPECT_EQ(w.x, 17);
        EXPECT_EQ(w.y, 8);
        const CellVideo& v = *video_;
        EXPECT_EQ(v.Text(17, 8, 46), "+------------------ Title -------------------+");
        EXPECT_EQ(v.Text(17, 16, 46), "+" + std::string(44, '-') + "+");
        for (int row = 9; row < 16; ++row) {
            EXPECT_EQ(v.Cell(17, row).ch, '|');
            EXPECT_EQ(v.Cell(62, row).ch, '|');
        }
        for (int col = 17; col < 63; ++col) EXPECT_EQ(v.Cell(col, 8).attr, kFrameAttr);
        // Inside, the screen's characters stay, in the window's colours.
        EXPECT_EQ(v.Cell(18, 9).ch, before_[9 * 80 + 18].ch);
        EXPECT_EQ(v.Cell(18, 9).attr, kFrameAttr);
        EXPECT_EQ(v.Text(34, 10, 11), "Hello world");
        EXPECT_EQ(v.Text(37, 11, 6), "Second");
        // Buttons on row y + height - 4, in columns of 46 / 3 = 15 starting 3 in.
        EXPECT_EQ(v.Text(20, 13, 10), "   One    ");
        EXPECT_EQ(v.Text(35, 13, 10), "   Two    ");
        EXPECT_EQ(v.Text(50, 13, 10), "  Three   ");
        EXPECT_EQ(v.Cell(20, 13).attr, kFocusedAttr) << "the first button has the focus";
        EXPECT_EQ(v.Cell(35, 13).attr, kButtonAttr);
        EXPECT_EQ(v.Cell(50, 13).attr, kButtonAttr);
        // Outside the window and its saved margin nothing changed.
        EXPECT_EQ(v.Cell(16, 8), before_[8 * 80 + 16]);
        EXPECT_EQ(v.Cell(17, 7), before_[7 * 80 + 17]);
    }));
    events.Add(ScriptedEvents::Key(KeyEnter, [&] {
        EXPECT_EQ(video_->Cell(35, 13).attr, kFocusedAttr) << "Tab moved the focus";
        EXPECT_EQ(video_->Cell(20, 13).attr, kButtonAttr);
    }));
    EXPECT_EQ(d.window.Run(), 6);
    ExpectRestored("after Enter");
}

std::vector<Step> Keys(std::initializer_list<int> keys) {
    std::vector<Step> steps;
    for (int key : keys) steps.push_back(ScriptedEvents::Key(key));
    return steps;
}

TEST_F(DialogTest, KeysAndClicksMoveTheFocusAndPressOrCloseTheWindow) {
    // The window stands at x 17, y 8; the buttons on row 13 at columns 20, 35 and 50.
    const struct {
        const char* what;
        std::vector<Step> steps;
        int result;
    } cases[] = {
        {"Enter presses the first button", Keys({KeyEnter}), 5},
        {"Space presses too", Keys({KeySpace}), 5},
        {"Tab, then Enter", Keys({KeyTab, KeyEnter}), 6},
        {"Tab past the last button wraps", Keys({KeyTab, KeyTab, KeyTab, KeyEnter}), 5},
        {"back from the first goes to the last", Keys({KeyFocusPrevious1, KeyEnter}), 7},
        {"the other back key", Keys({KeyFocusPrevious2, KeyFocusPrevious2, KeyEnter}), 6},
        {"the other forward keys", Keys({KeyFocusNext1, KeyFocusNext2, KeyEnter}), 7},
        {"Esc closes with 0", Keys({KeyEscape}), 0},
        {"other keys are ignored", Keys({'a', 1000, KeyEscape}), 0},
        {"a click on the second button", {ScriptedEvents::Click(44, 13)}, 6},
        {"a click on the last cell of a button", {ScriptedEvents::Click(59, 13)}, 7},
        {"the close box, first column", {ScriptedEvents::Click(19, 8)}, 0},
        {"the close box, last column", {ScriptedEvents::Click(21, 8)}, 0},
        {"beside the close box", {ScriptedEvents::Click(22, 8), ScriptedEvents::Key(KeyEnter)}, 5},
        {"beside a button", {ScriptedEvents::Click(30, 13), ScriptedEvents::Key(KeyEnter)}, 5},
        {"the right button is ignored", {ScriptedEvents::Click(44, 13, 2), ScriptedEvents::Key(KeyEnter)}, 5},
    };
    for (const auto& c : cases) {
        ThreeButtonDialog d;
        {
            ScriptedEvents events;
            for (const Step& s : c.steps) events.Add(s);
            EXPECT_EQ(d.window.Run(), c.result) << c.what;
        }
        ExpectRestored(c.what);
    }
}

TEST_F(DialogTest, ButtonWithoutResultRunsItsActionAndTheDialogGoesOn) {
    int applied = 0;
    textButton apply(0, "Apply", kButtonAttr, [&](textButton& b) {
        ++applied;
        EXPECT_EQ(b.label, "Apply");
    });
    textButton cancel(KeyEscape, "Cancel", kButtonAttr);
    promptWindow window(0, kFrameAttr, nullptr);
    window.AddLine("Apply the changes?");
    window.AddButton(&apply);
    window.AddButton(&cancel);
    {
        ScriptedEvents events;
        // 32 wide, 8 rows: x 24, y 8; Apply at column 28 and Cancel at 44 on row 12.
        // A click moves the focus: Enter after it presses Apply again.
        events.Add({ScriptedEvents::Key(KeyEnter), ScriptedEvents::Key(KeyTab), ScriptedEvents::Click(30, 12),
                    ScriptedEvents::Key(KeyEnter), ScriptedEvents::Key(KeyTab),
                    ScriptedEvents::Key(KeyEnter)});
        EXPECT_EQ(window.Run(), 0) << "a result of 27 reads as 0";
    }
    EXPECT_EQ(applied, 3);
    ExpectRestored("after Cancel");
}

TEST_F(DialogTest, PressedButtonMovesRightOverADarkGreyShadow) {
    textButton b(1, "Go", kButtonAttr);
    b.x = 10;
    b.y = 5;
    b.width = 10;
    b.Draw(ButtonPressed, kFrameAttr);
    EXPECT_EQ(video_->Cell(10, 5).ch, ' ');
    EXPECT_EQ(video_->Cell(10, 5).attr, (kFrameAttr & 0xF0) | 8);
    EXPECT_EQ(video_->Text(11, 5, 10), "    Go    ");
    EXPECT_EQ(video_->Cell(11, 5).attr, kButtonAttr);
    b.Draw(ButtonFocused, kFrameAttr);
    EXPECT_EQ(video_->Text(10, 5, 11), "    Go     ") << "the pressed face's last cell is cleared";
    EXPECT_EQ(video_->Cell(10, 5).attr, kFocusedAttr);
    EXPECT_EQ(video_->Cell(20, 5).attr, kFrameAttr);
}

TEST_F(DialogTest, LongTitlesKeepTheirEndAndNeverLeaveTheWindow) {
    const std::string title = "abcdefghijklmnopqrstuvwxyz0123";
    {
        textWindow w(20, 5, kFrameAttr, title.c_str());
        w.Open();
        EXPECT_EQ(video_->Text(w.x, w.y, 20), "+-- ..uvwxyz0123 --+");
        w.Close();
    }
    // Windows narrower than 10 columns: the title shrinks with the window.
    for (int width = 1; width <= 12; ++width) {
        textWindow w(width, 3, kFrameAttr, title.c_str());
        w.Open();
        for (int y = 0; y < CellVideo::kRows; ++y)
            for (int x = 0; x < CellVideo::kColumns; ++x) {
                if (x >= w.x && x < w.x + w.width && y >= w.y && y < w.y + w.height) continue;
                EXPECT_EQ(video_->Cell(x, y), before_[y * 80 + x])
                    << "width " << width << " at " << x << "," << y;
            }
        EXPECT_EQ(video_->Cell(w.x, w.y).ch, '+') << "width " << width;
        EXPECT_EQ(video_->Cell(w.x + w.width - 1, w.y).ch, '+') << "width " << width;
        w.Close();
        ExpectRestored("width " + std::to_string(width), false);
    }
}

TEST_F(DialogTest, WindowTallerThanTheScreenWritesNothingOutsideIt) {
    promptWindow window(0, kFrameAttr, "Many lines");
    textButton ok(13, "Ok", kButtonAttr);
    std::vector<std::string> lines;
    for (int i = 0; i < 30; ++i) lines.push_back("line " + std::to_string(i) + std::string(100, '.'));
    for (const std::string& l : lines) window.AddLine(l.c_str());
    window.AddButton(&ok);
    ScriptedEvents events;
    events.Add(ScriptedEvents::Key(KeyEscape, [&] {
        EXPECT_EQ(window.width, promptWindow::kMaxWidth);
        // 37 rows from y -6: row 5 shows line 9, cut to the 74 columns inside the frame.
        EXPECT_EQ(window.y, -6);
        EXPECT_EQ(video_->Text(window.x + 1, 5, 74), "line 9" + std::string(68, '.'));
        EXPECT_EQ(video_->Cell(window.x + window.width - 1, 5).ch, '|');
    }));
    EXPECT_EQ(window.Run(), 0);
    EXPECT_TRUE(video_->Snapshot() == before_);
}

TEST_F(DialogTest, ShowQuestionAnswersWithTheFlagOfTheButton) {
    const int yesNo = QuestionYes | QuestionNo;
    const int all = QuestionYes | QuestionNo | QuestionYesToAll | QuestionNoToAll;
    const struct {
        const char* what;
        int flags;
        std::vector<int> keys;
        int answer;
    } cases[] = {
        {"Yes", yesNo, {KeyEnter}, QuestionYes},
        {"No", yesNo, {KeyTab, KeyEnter}, QuestionNo},
        {"Esc with No offered", yesNo, {KeyEscape}, QuestionNo},
        {"Ok", QuestionOk | QuestionCancel, {KeyEnter}, QuestionOk},
        {"Cancel", QuestionOk | QuestionCancel, {KeyTab, KeyEnter}, QuestionCancel},
        {"Esc with Cancel and No offered", QuestionCancel | QuestionNo, {KeyEscape}, QuestionCancel},
        {"Yes to all", all, {KeyTab, KeyTab, KeyEnter}, QuestionYesToAll},
        {"No to all", all, {KeyFocusPrevious1, KeyEnter}, QuestionNoToAll},
        {"Ok wins over Yes", QuestionYes | QuestionOk, {KeyTab, KeyEnter}, QuestionOk},
        {"no buttons", 0, {KeyEnter, KeyEscape}, 0},
    };
    const char* const lines[] = {"Delete the file?", "It is infected.", nullptr};
    for (const auto& c : cases) {
        {
            ScriptedEvents events;
            for (int key : c.keys) events.Add(ScriptedEvents::Key(key));
            EXPECT_EQ(ShowQuestion(c.flags, "Question", lines), c.answer) << c.what;
        }
        ExpectRestored(c.what);
    }
}

TEST_F(DialogTest, ShowQuestionLabelsButtonsFromTheMessages) {
    const char* const lines[] = {"Go on?", nullptr};
    ScriptedEvents events;
    // Buttons 12 wide for "Yes to all"; four of them: (12 + 4) x 4 + 4 = 68
    // wide, 8 rows: x 6, y 8; columns of 17 from 10.
    events.Add(ScriptedEvents::Key(KeyEscape, [&] {
        EXPECT_EQ(video_->Text(10, 12, 12), "    Yes     ");
        EXPECT_EQ(video_->Text(27, 12, 12), "     No     ");
        EXPECT_EQ(video_->Text(44, 12, 12), " Yes to all ");
        EXPECT_EQ(video_->Text(61, 12, 12), " No to all  ");
        EXPECT_EQ(video_->Text(37, 10, 6), "Go on?");
    }));
    EXPECT_EQ(ShowQuestion(QuestionYes | QuestionNo | QuestionYesToAll | QuestionNoToAll, "Q", lines),
              QuestionNo);
    ExpectRestored("after Esc");
}

TEST(TvEvent, ClearZeroesEveryWordAndNoSourceMeansNoEvent) {
    tvEvent event;
    event.type = 2;
    event.key = 13;
    event.mouseX = event.mouseY = event.buttons = event.extra1 = event.extra2 = 9;
    event.Clear();
    EXPECT_EQ(event.type | event.key | event.mouseX | event.mouseY | event.buttons | event.extra1 |
                  event.extra2,
              0);
    tvEventSource* previous = SetEventSource(nullptr);
    EXPECT_EQ(event.PollKey(), 0);
    EXPECT_EQ(event.PollMouse(), 0);
    SetEventSource(previous);
}

TEST(TvEvent, GetKeyPassesOverMouseEvents) {
    ScriptedEvents events;
    events.Add({ScriptedEvents::Click(1, 1), ScriptedEvents::Key('k')});
    EXPECT_EQ(GetKey(), 'k');
}

} // namespace
