// The header-rule compiler and evaluator on arbitrary input: the first line is a rule, the rest a mail
// message. The tokenizer must always move forward, a compiled table must hold only what the checks
// allow, every evaluation must end inside the table, and a rejection must leave its reason behind.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "mail/mime/message.h"
#include "mail/walk/headerrules.h"
#include "mail/walk/ruleregex.h"
#include "mail/walk/ruletokens.h"

namespace {

// The C library compiles a repetition by copying what it repeats, so stacked or large repetitions
// ("a++++...", "(a{999}){999}") take memory exponential in the pattern. Rule patterns come from the
// administrator; the fuzzer keeps to patterns of a size the library handles.
bool ModestRepetitions(const std::string& rule) {
    int quantifiers = 0, bounds = 0;
    for (size_t k = 0; k < rule.size(); ++k) {
        if (strchr("+*?", rule[k])) ++quantifiers;
        if (rule[k] == '{') ++bounds;
        if (rule[k] == '\\' && k + 1 < rule.size() && rule[k + 1] >= '1' && rule[k + 1] <= '9') return false;
    }
    return quantifiers <= 6 && bounds <= 1;
}

void Tokens(const std::string& rule) {
    size_t position = 0;
    std::string token;
    int guard = 0;
    while (NextRuleToken(rule.c_str(), &position, token)) {
        if (token.empty()) Fault("empty token");
        if (position > rule.size()) Fault("tokenizer ran past the text");
        if (++guard > static_cast<int>(rule.size()) + 1) Fault("tokenizer did not move");
    }
}

void Compiled(const std::string& rule) {
    RuleTokenTable table;
    std::string error;
    const int count = CheckAndEvaluateRule(rule.c_str(), table.data(), kMaxRuleTokens, error);
    if (count < 0 || count > kMaxRuleTokens) Fault("token count outside the table");
    if (count == 0) {
        if (error.empty()) Fault("refused without a reason");
        for (const RuleToken& token : table)
            if (token.type || !token.text.empty()) Fault("a refused rule kept tokens");
        return;
    }
    if (!error.empty()) Fault("compiled with an error");
    if (!(table[0].type & kRuleFirstKinds)) Fault("expression begins with an operator");
    int depth = 0;
    for (int k = 0; k < count; ++k) {
        if (table[k].text.empty() || FindRuleToken(table[k].text.c_str()).type != table[k].type)
            Fault("token kind not from its text");
        if (k > 0 && !(table[k - 1].type & FindRuleToken(table[k].text.c_str()).mayFollow))
            Fault("token after one it may not follow");
        depth += table[k].type == TOK_OPEN ? 1 : table[k].type == TOK_CLOSE ? -1 : 0;
        if (depth < 0) Fault("')' without '('");
    }
    if (depth != 0) Fault("unbalanced parentheses");
    for (int start = 0; start < count; ++start) {
        int result = -1;
        const int end = EvaluateRuleExpression(start, &result, table.data(), count, error, nullptr, nullptr);
        if (end < 0 || end > count || (end && result != 0 && result != 1))
            Fault("evaluation outside the table");
        if (start == 0 && end != count) Fault("a checked rule did not evaluate whole");
    }
}

void Applied(const std::string& rule, const std::string& text) {
    RuleSwitch = 1;
    AddMessageRule(rule.c_str(), 0);
    AddPartRule(rule.c_str(), 1);
    std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
    message->Parse();
    const int rejected = ApplyHeaderRules(0, *message, "fuzz");
    if (rejected != 0 && rejected != 1 && rejected != kRuleRejected) Fault("unexpected rule result");
    if ((rejected != 0) != (ReasonString() != nullptr))
        Fault("a rejection without its reason, or the reverse");
    FreeReasonString();
    FreeFilterRules();
    RuleSwitch = 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (QuietLog(), true);
    (void)quiet;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = input.find('\n');
    const std::string rule = input.substr(0, lineEnd);
    const std::string text = lineEnd == std::string::npos ? std::string() : input.substr(lineEnd + 1);
    Tokens(rule);
    if (!ModestRepetitions(rule)) return 0;
    Compiled(rule);
    Applied(rule, text);
    FreeRegexCache();
    return 0;
}
