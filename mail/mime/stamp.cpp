#include "mail/mime/stamp.h"

#include <cstring>

#include "mail/mime/charclass.h"
#include "mail/mime/lines.h"

namespace {

const char* const kKeywords[] = {"from", "by", "via", "with", "id", "for"};
constexpr int kStart = -1;
constexpr int kLineOffset = 10;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int KeywordState(const std::string& text, size_t start, size_t length) {
    for (int i = 0; i < 6; ++i)
        if (EqualNoCaseC(text.data() + start, length, kKeywords[i], strlen(kKeywords[i]))) return i;
    return kStart;
}

} // namespace

DwCreationHook<DwStamp> DwStamp::sNewStampHook = nullptr;

DwStamp::DwStamp() {
    SetClass(kCidStamp, "DwStamp");
    date_.SetParent(this);
}

DwStamp::DwStamp(const std::string& text, DwMessageComponent* parent) : DwFieldBody(text, parent) {
    SetClass(kCidStamp, "DwStamp");
    date_.SetParent(this);
}

DwStamp::DwStamp(const DwStamp& other) : DwFieldBody(other), date_(other.date_) {
    SetClass(kCidStamp, "DwStamp");
    for (int i = 0; i < kClauses; ++i) clauses_[i] = other.clauses_[i];
    date_.SetParent(this);
}

DwStamp& DwStamp::operator=(const DwStamp& other) {
    if (this != &other) {
        DwFieldBody::operator=(other);
        for (int i = 0; i < kClauses; ++i) clauses_[i] = other.clauses_[i];
        date_ = other.date_;
    }
    return *this;
}

DwStamp::~DwStamp() = default;

DwStamp* DwStamp::NewStamp(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewStampHook, text, parent);
}

DwMessageComponent* DwStamp::Clone() const {
    return new DwStamp(*this);
}

void DwStamp::SetClause(Clause clause, const std::string& value) {
    clauses_[clause] = value;
    MarkModified();
}

void DwStamp::SetDate(const DwDateTime& date) {
    date_ = date;
    MarkModified();
}

void DwStamp::Parse() {
    SetModified(false);
    for (std::string& clause : clauses_) clause.clear();
    std::string text = text_;
    UnfoldText(text);
    size_t semicolon = text.rfind(';');
    size_t clausesEnd = semicolon == std::string::npos ? text.size() : semicolon;

    // Reading the date must not mark the stamp, or an unchanged trace field would be rewritten.
    date_.SetParent(nullptr);
    date_ = DwDateTime();
    if (semicolon != std::string::npos) {
        size_t dateStart = semicolon + 1;
        while (dateStart < text.size() && IsBlank(text[dateStart])) ++dateStart;
        date_.SetText(text.substr(dateStart));
        date_.Parse();
    }
    date_.SetParent(this);

    int state = kStart;
    size_t first[kClauses] = {}, last[kClauses] = {};
    bool seen[kClauses] = {};
    size_t pos = 0;
    while (true) {
        while (pos < clausesEnd && IsBlank(text[pos])) ++pos;
        if (pos >= clausesEnd) break;
        size_t start = pos;
        if (text[pos] == '(') {
            size_t close = text.find(')', pos);
            if (close != std::string::npos && close < clausesEnd) {
                pos = close + 1;
            } else {
                while (pos < clausesEnd && !IsBlank(text[pos])) ++pos;
            }
        } else {
            while (pos < clausesEnd && !IsBlank(text[pos])) ++pos;
        }
        int keyword = KeywordState(text, start, pos - start);
        if (keyword != kStart && keyword > state) {
            state = keyword;
        } else if (state != kStart) {
            if (!seen[state]) first[state] = start;
            seen[state] = true;
            last[state] = pos;
        }
    }
    for (int i = 0; i < kClauses; ++i)
        if (seen[i]) clauses_[i] = text.substr(first[i], last[i] - first[i]);
}

void DwStamp::Assemble() {
    if (!IsModified()) return;
    date_.Assemble();
    std::string text;
    for (int i = 0; i < kClauses; ++i) {
        if (clauses_[i].empty()) continue;
        if (!text.empty()) text += ' ';
        text += kKeywords[i];
        text += ' ';
        text += clauses_[i];
    }
    // A stamp read without a date gets none: 1970 would be no better than nothing.
    if (!date_.Text().empty()) text += "; " + date_.Text();
    FoldText(text, kLineOffset);
    text_ = text;
    SetModified(false);
}
