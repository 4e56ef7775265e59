#include "base/questionbox.h"

#include <memory>
#include <vector>

#include "base/messages.h"
#include "base/promptwindow.h"
#include "base/tvevent.h"

namespace {

constexpr int kQuestionWidth = 48;
constexpr int kQuestionAttr = 15;
constexpr int kButtonAttr = 112;

struct Offer {
    int flag;
    uint32_t message;
    int code;
};

// In the order the buttons appear.
const Offer kOffers[] = {
    {QuestionYes, 7, KeyEnter}, {QuestionOk, 10, KeyEnter}, {QuestionCancel, 9, KeyEscape},
    {QuestionNo, 8, KeyEscape}, {QuestionYesToAll, 11, 1},  {QuestionNoToAll, 12, 2},
};

int AnswerOf(int code, int flags) {
    switch (code) {
    case KeyEnter:
        if (flags & QuestionOk) return QuestionOk;
        return flags & QuestionYes ? QuestionYes : 0;
    case KeyEscape:
    case 0:
        if (flags & QuestionCancel) return QuestionCancel;
        return flags & QuestionNo ? QuestionNo : 0;
    case 1:
        return flags & QuestionYesToAll ? QuestionYesToAll : 0;
    case 2:
        return flags & QuestionNoToAll ? QuestionNoToAll : 0;
    default:
        return 0;
    }
}

} // namespace

int ShowQuestion(int flags, const char* title, const char* const* lines) {
    promptWindow window(kQuestionWidth, kQuestionAttr, title);
    std::vector<std::unique_ptr<textButton>> offered;
    for (const Offer& offer : kOffers) {
        if (!(flags & offer.flag)) continue;
        offered.push_back(std::make_unique<textButton>(offer.code, MessageText(offer.message), kButtonAttr));
        window.AddButton(offered.back().get());
    }
    for (const char* const* line = lines; line && *line; ++line) window.AddLine(*line);
    return AnswerOf(window.Run(), flags);
}
