#include "mail/mime/parameterfieldbody.h"

#include <cstdlib>
#include <map>

#include "mail/mime/bytesearch.h"
#include "mail/mime/charclass.h"
#include "mail/mime/codectables.h"
#include "mail/mime/parameter.h"
#include "mail/mime/tokenizer.h"

DwParameterFieldBody::DwParameterFieldBody() : params_(this) {}

DwParameterFieldBody::DwParameterFieldBody(const std::string& text, DwMessageComponent* parent)
    : DwFieldBody(text, parent), params_(this) {}

DwParameterFieldBody::DwParameterFieldBody(const char* chars, size_t length, DwMessageComponent* parent)
    : DwFieldBody(chars, length, parent), params_(this) {}

DwParameterFieldBody::DwParameterFieldBody(DwTextSpan span, DwMessageComponent* parent)
    : DwFieldBody(std::move(span), parent), params_(this) {}

DwParameterFieldBody::DwParameterFieldBody(const DwParameterFieldBody& other)
    : DwFieldBody(other), params_(this) {
    if (other.pending_) other.MakePendingParameters();
    params_.AdoptClonesOf(other.params_);
}

DwParameterFieldBody& DwParameterFieldBody::operator=(const DwParameterFieldBody& other) {
    if (this != &other) {
        pending_ = false;
        params_.DeleteAll();
        DwFieldBody::operator=(other);
        if (other.pending_) other.MakePendingParameters();
        params_.AdoptClonesOf(other.params_);
    }
    return *this;
}

DwParameterFieldBody::~DwParameterFieldBody() = default;

void DwParameterFieldBody::AdoptParameter(DwParameter* parameter) {
    if (pending_) MakePendingParameters();
    params_.Adopt(parameter);
}

DwParameter& DwParameterFieldBody::ParameterAt(int index) const {
    if (pending_) MakePendingParameters();
    if (!params_.IsIndex(index)) abort();
    return *params_.At(index);
}

void DwParameterFieldBody::AddParameter(DwParameter* parameter) {
    InsertParameterAt(NumParameters(), parameter);
}

void DwParameterFieldBody::InsertParameterAt(int index, DwParameter* parameter) {
    if (pending_) MakePendingParameters();
    params_.Insert(index, parameter);
}

DwParameter* DwParameterFieldBody::RemoveParameterAt(int index) {
    if (pending_) MakePendingParameters();
    return params_.Remove(index);
}

void DwParameterFieldBody::DeleteAllParameters() {
    pending_ = false;
    params_.DeleteAllMarking();
}

DwParameter* DwParameterFieldBody::FindParameter(const char* name, const char* otherName) const {
    if (pending_) MakePendingParameters();
    for (int i = 0; i < params_.Count(); ++i) {
        DwParameter* parameter = params_.At(i);
        if (EqualNoCaseC(parameter->Attribute(), name) ||
            (otherName && EqualNoCaseC(parameter->Attribute(), otherName)))
            return parameter;
    }
    return nullptr;
}

namespace {

std::string PercentDecoded(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        int high = -1, low = -1;
        if (text[i] == '%' && i + 2 < text.size() &&
            (high = mime_codec::HexValue(static_cast<unsigned char>(text[i + 1]))) >= 0 &&
            (low = mime_codec::HexValue(static_cast<unsigned char>(text[i + 2]))) >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Whether a parameter called attribute counts for ParameterValue (name): the name itself or one of
// its RFC 2231 forms.
bool NamesParameter(std::string_view attribute, const char* name, size_t length) {
    return attribute.size() >= length && EqualNoCaseC(attribute.data(), length, name, length) &&
           (attribute.size() == length || attribute[length] == '*');
}

// The value of an extended piece without its "charset'language'" lead.
std::string WithoutCharset(const std::string& value) {
    const size_t first = value.find('\'');
    if (first == std::string::npos) return value;
    const size_t second = value.find('\'', first + 1);
    return second == std::string::npos ? value : value.substr(second + 1);
}

} // namespace

std::vector<std::string> DwParameterFieldBody::ParameterValues(const char* name) const {
    std::vector<std::string> values;
    if (!name) return values;
    if (pending_) MakePendingParameters();
    const size_t length = std::char_traits<char>::length(name);
    // Pieces of the extended form by number; -1 is the unnumbered "name*".
    std::map<long, std::pair<std::string, bool>> pieces;
    for (int i = 0; i < params_.Count(); ++i) {
        const DwParameter* parameter = params_.At(i);
        const std::string& attribute = parameter->Attribute();
        if (attribute.size() < length || !EqualNoCaseC(attribute.substr(0, length), name)) continue;
        std::string rest = attribute.substr(length);
        if (rest.empty()) {
            values.push_back(parameter->Value());
            continue;
        }
        if (rest[0] != '*') continue;
        rest.erase(0, 1);
        const bool encoded = rest.empty() || rest.back() == '*';
        if (!rest.empty() && rest.back() == '*') rest.pop_back();
        long number = -1;
        if (!rest.empty()) {
            char* end = nullptr;
            number = strtol(rest.c_str(), &end, 10);
            if (*end != '\0' || number < 0 || rest[0] == '-' || rest[0] == '+') continue;
        }
        pieces.emplace(number, std::make_pair(parameter->Value(), encoded));
    }
    if (!pieces.empty()) {
        std::string joined;
        bool first = true;
        for (const auto& piece : pieces) {
            std::string value = piece.second.first;
            if (piece.second.second) {
                // Only the first piece carries the charset and language.
                if (first) value = WithoutCharset(value);
                value = PercentDecoded(value);
            }
            joined += value;
            first = false;
        }
        values.push_back(joined);
    }
    return values;
}

std::string DwParameterFieldBody::ParameterValue(const char* name, const char* otherName) const {
    if (pending_) {
        std::string value;
        const PendingAnswer answer = PendingValue(name, otherName, value);
        if (answer == PendingAnswer::kValue) return value;
        if (answer == PendingAnswer::kNone) return std::string();
        MakePendingParameters();
    }
    // Of the two names, the one written first.
    for (int i = 0; i < params_.Count(); ++i) {
        const std::string& attribute = params_.At(i)->Attribute();
        for (const char* candidate : {name, otherName}) {
            if (!candidate ||
                !NamesParameter(attribute, candidate, std::char_traits<char>::length(candidate)))
                continue;
            // A plain "name=value" comes first among the values: no need to gather them all.
            if (const DwParameter* plain = FindParameter(candidate)) return plain->Value();
            const std::vector<std::string> values = ParameterValues(candidate);
            if (!values.empty()) return values.front();
        }
    }
    return std::string();
}

void DwParameterFieldBody::SetParameterValue(const char* name, const std::string& value) {
    if (DwParameter* parameter = FindParameter(name)) {
        parameter->SetValue(value);
        return;
    }
    DwParameter* parameter = DwParameter::NewParameter(std::string(), nullptr);
    if (!parameter) return;
    parameter->SetAttribute(name);
    parameter->SetValue(value);
    AddParameter(parameter);
}

namespace {

// Calls visit (attribute, value token, quoted, the parameter's text) for each parameter from the
// cursor's token on, until visit returns false.
template <class Visit> void ForEachParameter(DwMimeTokenCursor tokens, std::string_view text, Visit visit) {
    auto advanceUntil = [&tokens](auto wanted) {
        int type = tokens.Type();
        while (type != kTokenNull && !tokens.Is(';') && !wanted(type)) type = tokens.Next();
        return type != kTokenNull && !tokens.Is(';');
    };
    for (;;) {
        while (tokens.Type() != kTokenNull && !tokens.Is(';')) tokens.Next();
        if (tokens.Type() == kTokenNull) return;
        tokens.Next();
        const size_t start = tokens.Start();
        if (!advanceUntil([](int type) { return type == kTokenMimeToken; })) continue;
        const std::string_view attribute = tokens.Token();
        tokens.Next();
        if (!advanceUntil([&tokens](int) { return tokens.Is('='); })) continue;
        tokens.Next();
        if (!advanceUntil([](int type) { return type == kTokenMimeToken || type == kTokenQuotedString; }))
            continue;
        const std::string_view value = tokens.Token();
        const bool quoted = tokens.Type() == kTokenQuotedString;
        tokens.Next();
        if (!visit(attribute, value, quoted, text.substr(start, tokens.Start() - start))) return;
    }
}

} // namespace

void DwParameterFieldBody::ParseParameters(const DwMimeTokenCursor& tokens) {
    if (!DwParameter::sNewParameterHook) {
        pending_ = tokens.Type() != kTokenNull;
        pendingFrom_ = tokens.Start();
        return;
    }
    // The hook's class parses its text itself.
    ForEachParameter(tokens, TextView(),
                     [this](std::string_view, std::string_view, bool, std::string_view span) {
                         DwParameter* parameter = DwParameter::NewParameter(std::string(span), this);
                         if (!parameter) return false;
                         parameter->Parse();
                         params_.Adopt(parameter);
                         return true;
                     });
}

void DwParameterFieldBody::MakePendingParameters() const {
    pending_ = false;
    const std::string_view text = TextView();
    DwMessageComponent* self = const_cast<DwParameterFieldBody*>(this);
    ForEachParameter(
        DwMimeTokenCursor(text, pendingFrom_), text,
        [this, self](std::string_view attribute, std::string_view value, bool quoted, std::string_view span) {
            auto* parameter = new DwParameter(span.data(), span.size(), self);
            parameter->ParseTokens(attribute, value, quoted);
            params_.Adopt(parameter);
            return true;
        });
}

bool DwParameterFieldBody::MentionsNoCase(std::string_view text, const char* name, size_t length) {
    const unsigned char first = length > 0 ? CToLower(static_cast<unsigned char>(name[0])) : 0;
    if (!IsCLower(first)) return true;
    for (size_t at = FindLetterNoCase(text, 0, static_cast<char>(first));
         at != std::string_view::npos && text.size() - at >= length;
         at = FindLetterNoCase(text, at + 1, static_cast<char>(first)))
        if (EqualNoCaseC(text.data() + at, length, name, length)) return true;
    return false;
}

DwParameterFieldBody::PendingAnswer
DwParameterFieldBody::PendingValue(const char* name, const char* otherName, std::string& value) const {
    return TextValue(TextView(), pendingFrom_, name, otherName, value);
}

DwParameterFieldBody::PendingAnswer
DwParameterFieldBody::MentionedTextValue(std::string_view text, size_t from, const char* name,
                                         size_t nameLength, const char* otherName, size_t otherLength,
                                         std::string& value) {
    const char* const names[] = {name, otherName};
    const size_t lengths[] = {name ? nameLength : 0, otherName ? otherLength : 0};
    // The name of the two that the first parameter of either is written with, then its first
    // plain value, which comes before any joined one.
    int chosen = -1;
    bool found = false;
    ForEachParameter(DwMimeTokenCursor(text, from), text,
                     [&](std::string_view attribute, std::string_view token, bool quoted, std::string_view) {
                         for (int i = 0; i < 2 && chosen < 0; ++i) {
                             if (names[i] && NamesParameter(attribute, names[i], lengths[i])) chosen = i;
                         }
                         if (chosen < 0 || !EqualNoCaseC(attribute.data(), attribute.size(), names[chosen],
                                                         lengths[chosen]))
                             return true;
                         DwParameter::ParseValue(value, attribute, token, quoted);
                         found = true;
                         return false;
                     });
    if (found) return PendingAnswer::kValue;
    return chosen < 0 ? PendingAnswer::kNone : PendingAnswer::kUnsure;
}

void DwParameterFieldBody::BeforeTextChange() {
    if (pending_) MakePendingParameters();
}

void DwParameterFieldBody::AppendParameters(std::string& text) {
    if (pending_) MakePendingParameters();
    for (int i = 0; i < params_.Count(); ++i) {
        DwParameter* parameter = params_.At(i);
        parameter->Assemble();
        text += IsFolding() ? ";\r\n  " : "; ";
        text += parameter->Text();
    }
}

void DwParameterFieldBody::DropParameters() {
    pending_ = false;
    params_.DeleteAll();
}
