#include "mail/walk/headerrules.h"

#include <algorithm>
#include <vector>

#include "base/logwriter.h"
#include "base/messages.h"
#include "base/recode.h"
#include "base/strutil.h"
#include "base/tvstrlist.h"
#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/decodewords.h"
#include "mail/mime/disposition.h"
#include "mail/mime/entity.h"
#include "mail/mime/enums.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "mail/walk/ruleregex.h"
#include "unix/config/daemonsettings.h"
#include "unix/protocol/scanrequest.h"
#include "unix/protocol/processprefix.h"

std::unique_ptr<RuleListHolder> MessageRules;
std::unique_ptr<RuleListHolder> PartRules;
int RuleSwitch = 0;

namespace {

constexpr uint32_t kMessageMissingHeader = 140;
constexpr uint32_t kMessageRejectedByFilter = 153;

std::string reasonString;
bool hasReason = false;

// The headers EvaluateRule is testing, for the two field tests.
DwHeaders* currentHeaders = nullptr;

int CountTokens(const RuleTokenTable& tokens) {
    int count = 0;
    while (count < kMaxRuleTokens && !tokens[count].text.empty()) ++count;
    return count;
}

// Decoded into KOI8-R and upper-cased, as the patterns are.
int MatchesText(const std::string& text, const char* pattern) {
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    DecodeEncodedWords(copy.data(), "koi8-r");
    UpperCaseCyrillic(copy.data());
    return RuleRegexMatches(pattern, copy.data()) == 1;
}

bool HasHighByte(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return true;
    return false;
}

bool SameName(const DwField& field, const char* name) {
    return StrEqualNoCase(field.FieldName().c_str(), name);
}

void PrintRejection(const char* name, const std::string& ruleText) {
    char prefix[kProcessPrefixSize];
    FormatProcessPrefix(prefix, sizeof prefix);
    PrintMessage("%s%s%s", prefix, name, MessageText(kMessageRejectedByFilter));
    PrintMessage(" {%s}", ruleText.c_str());
    EndMessageLine(0);
}

// "[type:subtype]", or "[type]" without a subtype.
void AppendBracketedType(std::string& out, std::string_view type, std::string_view subtype) {
    out += '[';
    if (!subtype.empty() && subtype.data() == type.data() + type.size() + 1 &&
        type.data()[type.size()] == '/') {
        // Both read from a text that writes them "type/subtype": one append, its '/' then made the ':'.
        const size_t slash = out.size() + type.size();
        out.append(type.data(), type.size() + 1 + subtype.size());
        out[slash] = ':';
    } else {
        out += type;
        if (!subtype.empty()) {
            out += ':';
            out += subtype;
        }
    }
    out += ']';
}

// The label, with the Content-Type read from its text already where pending is given.
void AppendLabel(DwHeaders& headers, std::string& out, int forScan, const PendingContentType* pending) {
    std::string name;
    if (!(pending && pending->withoutDisposition))
        if (DwDispositionType* disposition = headers.FindContentDisposition()) name = disposition->Filename();
    bool fromText = pending != nullptr;
    DwMediaType::Names names;
    // A text without an 'n' in its parameters names no file.
    if (fromText && name.empty() && !pending->withoutWordsOrNames)
        fromText = DwMediaType::FilenameOf(pending->text, pending->names, name);
    if (fromText) names = pending->names;
    bool typed = fromText;
    if (!fromText) {
        DwMediaType* type = headers.FindContentType();
        if (name.empty() && type) name = type->Filename();
        if (type) names = {type->TypeStr(), type->SubtypeStr()};
        typed = type != nullptr;
    }
    if (!name.empty()) {
        out += name;
        return;
    }
    if (forScan != 1) return;
    if (!typed || names.type.empty()) {
        out += "[message body]";
        return;
    }
    AppendBracketedType(out, names.type, names.subtype);
}

DwMediaType* ContentType(DwEntity& entity) {
    return entity.Headers().FindContentType();
}

// The part rules over the entities below a message or a part: every part of a multipart, and the top
// headers and the entities of a nested message. level counts the entities above, so that a tree built
// deeper than the parser would build it is still walked to a bounded depth only.
int CheckEntitiesBelow(DwEntity& entity, const char* name, int level) {
    if (level > kDwMaxNesting) return 0;
    DwMediaType* type = ContentType(entity);
    if (!type) return 0;
    DwBody& body = entity.Body();
    if (type->Type() == kTypeMultipart) {
        for (int k = 0; k < body.PartCount(); ++k) {
            DwBodyPart& part = body.PartAt(k);
            DwMediaType* partType = ContentType(part);
            // A multipart entity's own headers are not tested against the part rules.
            if (!(partType && partType->Type() == kTypeMultipart) && CheckPartRules(part.Headers(), name))
                return kRuleRejected;
            if (CheckEntitiesBelow(part, name, level + 1)) return kRuleRejected;
        }
        return 0;
    }
    if (type->Type() == kTypeMessage && type->Subtype() != kSubtypePartial) {
        DwMessage* nested = body.NestedMessage();
        if (!nested) return 0;
        if (CheckPartRules(nested->Headers(), name)) return kRuleRejected;
        return CheckEntitiesBelow(*nested, name, level + 1);
    }
    return 0;
}

} // namespace

const char* ReasonString() {
    return hasReason ? reasonString.c_str() : nullptr;
}

void SetReasonString(const std::string& text) {
    reasonString = text;
    hasReason = true;
    RequestReasonText = reasonString.c_str();
}

void FreeReasonString() {
    reasonString.clear();
    reasonString.shrink_to_fit();
    hasReason = false;
    RequestReasonText = nullptr;
}

int CompileRule(HeaderRule& rule, std::string& error) {
    size_t end = rule.text.size();
    while (end > 0 && static_cast<unsigned char>(rule.text[end - 1]) <= 32) --end;
    rule.text.resize(end);
    return CheckAndEvaluateRule(rule.text.c_str(), rule.tokens.data(), kMaxRuleTokens, error);
}

int AddRule(RuleListHolder& holder, const char* text, uint32_t value) {
    if (!text) return 0;
    auto rule = std::make_unique<HeaderRule>();
    rule->value = value;
    rule->text = text;
    std::string error;
    if (!CompileRule(*rule, error)) return 0;
    holder.rules.push_back(std::move(rule));
    return 1;
}

int AddMessageRule(const char* text, uint32_t value) {
    if (!MessageRules) MessageRules = std::make_unique<RuleListHolder>();
    return AddRule(*MessageRules, text, value);
}

int AddPartRule(const char* text, uint32_t value) {
    if (!PartRules) PartRules = std::make_unique<RuleListHolder>();
    return AddRule(*PartRules, text, value);
}

int RuleFieldMissing(const char* field) {
    return currentHeaders && !currentHeaders->HasField(field);
}

int RuleFieldMatches(const char* field, const char* pattern) {
    if (!currentHeaders) return 0;
    DwHeaders& headers = *currentHeaders;
    if (StrEqualNoCase(field, "FileName")) {
        std::string label;
        PartLabel(headers, label, 0);
        if (DebugConditions) {
            PrintMessage("Extracted filename <%s>", label.c_str());
            EndMessageLine(0);
        }
        if (!label.empty()) {
            if (!CompileRuleRegex(pattern)) return 0;
            // Readers differ in which of its names they give a part: a name any of them gives counts.
            for (const std::string& name : PartFileNames(headers))
                if (MatchesText(name, pattern)) return 1;
            return 0;
        }
    }
    if (StrEqualNoCase(pattern, "8bit"))
        for (int k = 0; k < headers.FieldCount(); ++k)
            if (SameName(headers.FieldAt(k), field) && HasHighByte(headers.FieldAt(k).FieldBodyText()))
                return 1;
    if (!headers.HasField(field)) return 0;
    // The rule's compilation cached the pattern; compiling again only finds it there.
    if (!CompileRuleRegex(pattern)) return 0;
    for (int k = 0; k < headers.FieldCount(); ++k)
        if (SameName(headers.FieldAt(k), field) && MatchesText(headers.FieldAt(k).FieldBodyText(), pattern))
            return 1;
    return 0;
}

int EvaluateRule(const HeaderRule& rule, DwHeaders& headers) {
    currentHeaders = &headers;
    std::string error;
    int result = 0;
    const int end = EvaluateRuleExpression(0, &result, rule.tokens.data(), CountTokens(rule.tokens), error,
                                           RuleFieldMatches, RuleFieldMissing);
    currentHeaders = nullptr;
    if (!end || !result) return -1;
    return rule.value ? 1 : 0;
}

int MatchRuleList(RuleListHolder* holder, DwHeaders& headers) {
    if (!holder) return -1;
    for (const auto& rule : holder->rules) {
        const int decision = EvaluateRule(*rule, headers);
        if (decision == 1) holder->lastText = rule->text;
        if (decision >= 0) return decision;
    }
    return -1;
}

int CheckPartRules(DwHeaders& headers, const char* name) {
    if (RuleSwitch != 1 || !PartRules || MatchRuleList(PartRules.get(), headers) != 1) return 0;
    PrintRejection(name, PartRules->lastText);
    SetReasonString(PartRules->lastText);
    return kRuleRejected;
}

int CheckMessageRules(DwHeaders& headers, const char* name) {
    if (RuleSwitch != 1) return 0;
    if (MessageRules) {
        const int decision = MatchRuleList(MessageRules.get(), headers);
        // An accepting rule also skips the MissingHeader check.
        if (decision == 0) return 0;
        if (decision == 1) {
            PrintRejection(name, MessageRules->lastText);
            SetReasonString(MessageRules->lastText);
            return kRuleRejected;
        }
    }
    if (!MissingHeader || MissingHeader->IsEmpty()) return 0;
    std::string text = "MissingHeader:";
    const uint32_t count = MissingHeader->Count();
    for (uint32_t k = 0; k < count; ++k) {
        const char* field = static_cast<const char*>(MissingHeader->GetAt(k));
        if (!field) continue;
        text += " \"";
        text += field;
        text += '"';
        if (headers.HasField(field)) continue;
        char prefix[kProcessPrefixSize];
        FormatProcessPrefix(prefix, sizeof prefix);
        PrintMessage("%s%s", prefix, name);
        PrintMessage(MessageText(kMessageMissingHeader), field);
        EndMessageLine(0);
        SetReasonString(text);
        return kRuleRejected;
    }
    return 0;
}

int ApplyHeaderRules(int depth, DwEntity& entity, const char* name) {
    if (depth == 0 && CheckMessageRules(entity.Headers(), name)) return 1;
    // Without part rules that act nothing below can reject: the tree is not walked for them.
    if (RuleSwitch != 1 || !PartRules) return 0;
    DwMediaType* type = ContentType(entity);
    const int code = type ? type->Type() : kTypeNull;
    if (code == kTypeMultipart) return CheckEntitiesBelow(entity, name, 1);
    if (code == kTypeMessage) {
        if (depth > 0 && CheckPartRules(entity.Headers(), name)) return kRuleRejected;
        return CheckEntitiesBelow(entity, name, 1);
    }
    return CheckPartRules(entity.Headers(), name);
}

std::vector<std::string> PartFileNames(DwHeaders& headers) {
    std::vector<std::string> names;
    const auto add = [&names](const DwParameterFieldBody* body, const char* parameter) {
        if (!body) return;
        for (const std::string& name : body->ParameterValues(parameter))
            if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
    };
    DwDispositionType* disposition = headers.FindContentDisposition();
    DwMediaType* type = headers.FindContentType();
    add(disposition, "filename");
    add(disposition, "name");
    add(type, "name");
    add(type, "filename");
    return names;
}

void AppendPartLabel(DwHeaders& headers, std::string& out, int forScan, const PendingContentType* pending) {
    if (pending) {
        AppendLabel(headers, out, forScan, pending);
        return;
    }
    // A media type still to be made is read from its text, unless only its made parameters can
    // tell the file name: most leaves never need one made.
    PendingContentType read;
    const DwField* field = headers.FindField("Content-Type");
    const bool fromText = field && field->PendingOwnBodyText(read.text);
    if (fromText) read.names = DwMediaType::NamesOf(read.text);
    AppendLabel(headers, out, forScan, fromText ? &read : nullptr);
}

void PartLabel(DwHeaders& headers, std::string& label, int forScan, const PendingContentType* pending) {
    label.clear();
    AppendPartLabel(headers, label, forScan, pending);
}

void FreeFilterRules() {
    MessageRules.reset();
    PartRules.reset();
}
