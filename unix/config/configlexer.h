// Cutting one logical line of the configuration file into tokens.
#pragma once

#include <istream>
#include <string>
#include <vector>

// Token kinds of the lexer.
enum ConfigTokenKind : int {
    kConfigOpen = 1,    // '['
    kConfigClose = 2,   // ']'
    kConfigEquals = 3,  // '='
    kConfigComma = 4,   // ','
    kConfigWord = 5,    // a word or a quoted string; its text is in Text()
    kConfigLineEnd = 6, // a run of CR and LF
    kConfigEnd = 7,     // end of the text (or a NUL byte)
};

// At most this many tokens a line, the key included.
constexpr int kMaxConfigTokens = 64;

class ConfigLexer {
public:
    explicit ConfigLexer(std::istream& in) : in_(in) {}
    ConfigLexer(const ConfigLexer&) = delete;
    ConfigLexer& operator=(const ConfigLexer&) = delete;

    // The reader before the first '=': '[', ']', '=' and ',' stand alone;
    // a word keeps its inner blanks and loses its trailing ones.
    int NextConfigToken();
    // The same, but a word also ends at a blank or a tab: the key.
    int NextConfigKeyToken();
    // The reader of values: `keep` is an ordinary word character.
    int NextConfigValueToken(char keep);
    // Skips blanks and tabs and one '=' after them, if there is one.
    void SkipOptionalEquals();

    // The text of the last word or quoted string.
    const std::string& Text() const { return text_; }
    // The last quoted string ran to the end of the text without its closing
    // quote.
    bool Unterminated() const { return unterminated_; }

private:
    int Next(int keep, bool stopAtBlank);
    int Peek();
    int Get();
    void SkipBlanks();
    void SkipLineEnds();

    std::istream& in_;
    std::string text_;
    bool unterminated_ = false;
};

// Tokens of one logical line: 0 to kMaxConfigTokens, or -1 for a line that
// cannot be read as written (a ']' without '[', an unterminated quote, more
// than kMaxConfigTokens tokens). A header "[ name ]" gives the single token
// "[name]". The key ends at the first blank or tab; after it and an optional
// '=' every '=' belongs to a value, and commas separate values.
int TokenizeConfigLine(std::istream& in, std::vector<std::string>& tokens);
int TokenizeConfigLine(const std::string& line, std::vector<std::string>& tokens);
