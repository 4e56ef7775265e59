#include "mail/walk/ruleregex.h"

#include <locale.h>
#include <regex.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/recode.h"

namespace {

struct CachedRegex {
    std::string pattern;
    regex_t expression{};
    bool compiled = false;
    ~CachedRegex() {
        if (compiled) regfree(&expression);
    }
};

std::vector<std::unique_ptr<CachedRegex>>& Cache() {
    static std::vector<std::unique_ptr<CachedRegex>> cache;
    return cache;
}

// Switches the calling thread to the C locale for its lifetime; without a C locale object nothing
// changes (it only fails when memory runs out).
class CLocaleScope {
public:
    CLocaleScope() {
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (cLocale) previous_ = uselocale(cLocale);
    }
    ~CLocaleScope() {
        if (previous_) uselocale(previous_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(nullptr);
};

CachedRegex* Find(const char* pattern) {
    for (auto& entry : Cache())
        if (entry->pattern == pattern) return entry.get();
    return nullptr;
}

char UpperByte(char c) {
    char one[2] = {c, '\0'};
    UpperCaseCyrillic(one);
    return one[0];
}

} // namespace

std::string UpperCaseRulePattern(const std::string& pattern) {
    std::string out;
    out.reserve(pattern.size());
    bool inBracket = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (!inBracket) {
            if (c == '\\' && i + 1 < pattern.size()) {
                out += c;
                out += pattern[++i];
                continue;
            }
            out += UpperByte(c);
            if (c == '[') {
                inBracket = true;
                // A ']' right after the opening (or after '^') is a member, not the end.
                if (i + 1 < pattern.size() && pattern[i + 1] == '^') out += pattern[++i];
                if (i + 1 < pattern.size() && pattern[i + 1] == ']') out += pattern[++i];
            }
            continue;
        }
        if (c == '[' && i + 1 < pattern.size() && strchr(":=.", pattern[i + 1])) {
            const char close[] = {pattern[i + 1], ']', '\0'};
            const size_t end = pattern.find(close, i + 2);
            if (end != std::string::npos) {
                out.append(pattern, i, end + 2 - i);
                i = end + 1;
                continue;
            }
        }
        if (c == ']') inBracket = false;
        out += UpperByte(c);
    }
    return out;
}

int CompileRuleRegex(const char* pattern) {
    if (!pattern) return 0;
    if (Find(pattern)) return 1;
    auto entry = std::make_unique<CachedRegex>();
    entry->pattern = pattern;
    const std::string upper = UpperCaseRulePattern(entry->pattern);
    {
        CLocaleScope c;
        entry->compiled =
            regcomp(&entry->expression, upper.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB) == 0;
    }
    if (!entry->compiled) return 0;
    Cache().push_back(std::move(entry));
    return 1;
}

int RuleRegexMatches(const char* pattern, const char* subject) {
    const CachedRegex* entry = pattern ? Find(pattern) : nullptr;
    if (!entry) return -1;
    CLocaleScope c;
    return regexec(&entry->expression, subject, 0, nullptr, 0) == 0 ? 1 : 0;
}

void FreeRegexCache() {
    Cache().clear();
    Cache().shrink_to_fit();
}
