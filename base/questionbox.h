// A question box: a prompt window with the buttons a caller offers.
#pragma once

enum : int {
    QuestionCancel = 1,
    QuestionNo = 2,
    QuestionYes = 4,
    QuestionOk = 8,
    QuestionYesToAll = 16,
    QuestionNoToAll = 32,
};

// Offers the buttons of the flag bits over the null-terminated lines; the
// flag bit of the answer, 0 for none.
int ShowQuestion(int flags, const char* title, const char* const* lines);
