#pragma once
// The header rules of the mail walk: message rules tried on the top-level headers, part rules tried on
// the headers of every entity, and the MissingHeader check. They act only while the rule switch is on.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mail/walk/readings.h"
#include "mail/walk/ruleeval.h"

class DwEntity;
class DwHeaders;

// The result of a check or of a walk that a rule rejected.
constexpr int kRuleRejected = 0x20000;

struct HeaderRule {
    // 0 accepts, anything else rejects.
    uint32_t value = 0;
    std::string text;
    RuleTokenTable tokens;
};

struct RuleListHolder {
    std::vector<std::unique_ptr<HeaderRule>> rules;
    // The text of the rule that rejected last.
    std::string lastText;
};

// Made on the first rule added; null until then and after FreeFilterRules.
extern std::unique_ptr<RuleListHolder> MessageRules;
extern std::unique_ptr<RuleListHolder> PartRules;

// Set by the mail walk for each message from OPT1 bit 5 of the request; the checks act only while it is 1.
extern int RuleSwitch;

// Why the last message was rejected ("MissingHeader: ..." or the rejecting rule's text), or null. The
// reply writer sends it for OPT1 bit 23; the mail walk frees it at the start and end of each message.
const char* ReasonString();
void SetReasonString(const std::string& text);
void FreeReasonString();

// 1 when the rule compiled and was added to the list, 0 when it was refused.
int AddMessageRule(const char* text, uint32_t value);
int AddPartRule(const char* text, uint32_t value);
int AddRule(RuleListHolder& holder, const char* text, uint32_t value);
// Trims the rule's text and compiles it into its table: the token count, or 0 when it does not compile
// (the reason in error).
int CompileRule(HeaderRule& rule, std::string& error);

// 1 reject, 0 accept, -1 no decision (the rule is false or could not be evaluated).
int EvaluateRule(const HeaderRule& rule, DwHeaders& headers);
// The first rule that decides: 1 (a reject rule; its text becomes the holder's last text) or 0; -1 when
// none decides.
int MatchRuleList(RuleListHolder* holder, DwHeaders& headers);

// The two field tests of the rules, on the headers being evaluated.
int RuleFieldMatches(const char* field, const char* pattern);
int RuleFieldMissing(const char* field);

// kRuleRejected (after the log line, with the reason string set) or 0.
int CheckPartRules(DwHeaders& headers, const char* name);
int CheckMessageRules(DwHeaders& headers, const char* name);
// The rules over a message (depth 0) and every entity below it, the parts of nested messages included:
// nonzero when the message is rejected.
int ApplyHeaderRules(int depth, DwEntity& entity, const char* name);

// The entity's file name ("filename" or "name" of Content-Disposition, else of Content-Type); without
// one and with forScan 1, its bracketed type ("[application:zip]", "[message body]"); else empty.
// pending: the headers' Content-Type as read from its text already, when it was.
void PartLabel(DwHeaders& headers, std::string& label, int forScan,
               const PendingContentType* pending = nullptr);
// The same label appended to out.
void AppendPartLabel(DwHeaders& headers, std::string& out, int forScan,
                     const PendingContentType* pending = nullptr);

// Every file name the entity is given (each form of "filename" and "name" of Content-Disposition and
// of Content-Type, RFC 2231 forms joined), without repeats; the label's name among them.
std::vector<std::string> PartFileNames(DwHeaders& headers);

// Frees both rule lists (the settings release runs it, so a reload starts without rules).
void FreeFilterRules();
