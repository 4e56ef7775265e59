#include "unix/config/configlexer.h"

#include <sstream>

namespace {

constexpr int kNoKeep = -2;

bool IsLineEnd(int c) {
    return c == '\r' || c == '\n';
}

bool IsBlank(int c) {
    return c == ' ' || c == '\t';
}

} // namespace

int ConfigLexer::Peek() {
    int c = in_.peek();
    // A NUL byte ends the text like the end of the stream.
    return c == 0 ? std::char_traits<char>::eof() : c;
}

int ConfigLexer::Get() {
    int c = Peek();
    if (c != std::char_traits<char>::eof()) in_.get();
    return c;
}

void ConfigLexer::SkipBlanks() {
    while (IsBlank(Peek())) Get();
}

void ConfigLexer::SkipLineEnds() {
    while (IsLineEnd(Peek())) Get();
}

void ConfigLexer::SkipOptionalEquals() {
    SkipBlanks();
    if (Peek() == '=') Get();
}

int ConfigLexer::NextConfigToken() {
    return Next(kNoKeep, false);
}

int ConfigLexer::NextConfigKeyToken() {
    return Next(kNoKeep, true);
}

int ConfigLexer::NextConfigValueToken(char keep) {
    return Next(static_cast<unsigned char>(keep), false);
}

int ConfigLexer::Next(int keep, bool stopAtBlank) {
    const int eof = std::char_traits<char>::eof();
    unterminated_ = false;
    SkipBlanks();
    int c = Peek();
    if (c == eof) return kConfigEnd;
    if (c != keep) {
        switch (c) {
        case '[':
            Get();
            return kConfigOpen;
        case ']':
            Get();
            return kConfigClose;
        case '=':
            Get();
            return kConfigEquals;
        case ',':
            Get();
            return kConfigComma;
        default:
            break;
        }
    }
    if (IsLineEnd(c)) {
        SkipLineEnds();
        return kConfigLineEnd;
    }
    text_.clear();
    if (c == '"') {
        Get();
        for (;;) {
            int d = Get();
            if (d == eof) {
                unterminated_ = true;
                break;
            }
            if (d == '"') {
                SkipLineEnds();
                break;
            }
            text_.push_back(static_cast<char>(d));
        }
        return kConfigWord;
    }
    for (;;) {
        int d = Peek();
        if (d == eof || IsLineEnd(d)) break;
        if (d != keep && (d == '[' || d == ']' || d == '=' || d == ',')) break;
        if (stopAtBlank && IsBlank(d)) break;
        text_.push_back(static_cast<char>(Get()));
    }
    while (!text_.empty() && IsBlank(static_cast<unsigned char>(text_.back()))) text_.pop_back();
    SkipLineEnds();
    return kConfigWord;
}

int TokenizeConfigLine(std::istream& in, std::vector<std::string>& tokens) {
    tokens.clear();
    ConfigLexer lexer(in);
    bool values = false;
    bool inBracket = false;
    std::string bracket;

    // A token beyond the limit makes the line bad rather than cut.
    auto emit = [&tokens](const std::string& text) {
        if (tokens.size() >= static_cast<size_t>(kMaxConfigTokens)) return false;
        tokens.push_back(text);
        return true;
    };

    for (;;) {
        int kind;
        if (values)
            kind = lexer.NextConfigValueToken('=');
        else if (tokens.empty() && !inBracket)
            kind = lexer.NextConfigKeyToken();
        else
            kind = lexer.NextConfigToken();
        if (lexer.Unterminated()) return -1;

        switch (kind) {
        case kConfigOpen:
            inBracket = true;
            bracket.clear();
            break;
        case kConfigClose:
            if (!inBracket) return -1;
            inBracket = false;
            if (!emit("[" + bracket + "]")) return -1;
            break;
        case kConfigEquals:
            values = true;
            break;
        case kConfigWord:
            if (inBracket) {
                bracket = lexer.Text();
                break;
            }
            if (!emit(lexer.Text())) return -1;
            if (!values && tokens.size() == 1) {
                // The key: an '=' after it is optional, every later one is
                // part of a value.
                lexer.SkipOptionalEquals();
                values = true;
            }
            break;
        case kConfigEnd:
            return static_cast<int>(tokens.size());
        default:
            break; // commas and line ends only separate
        }
    }
}

int TokenizeConfigLine(const std::string& line, std::vector<std::string>& tokens) {
    std::istringstream in(line);
    return TokenizeConfigLine(in, tokens);
}
