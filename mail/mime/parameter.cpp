#include "mail/mime/parameter.h"

#include "mail/mime/charclass.h"
#include "mail/mime/tokenizer.h"

DwCreationHook<DwParameter> DwParameter::sNewParameterHook = nullptr;

namespace {

void DropTrailingLineEnds(std::string& s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
}

// The contents of a quoted string without its backslash escapes (the quotes already trimmed).
void AssignUnescaped(std::string& out, std::string_view s) {
    if (s.find('\\') == std::string_view::npos) {
        out.assign(s);
        return;
    }
    out.clear();
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) ++i;
        out += s[i];
    }
}

// A quoted string's contents: '"' and '\' escaped, CR and LF left out.
void AppendQuotable(std::string& out, const std::string& s) {
    for (char c : s) {
        if (c == '\r' || c == '\n') continue;
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
}

} // namespace

DwParameter::DwParameter() {
    SetClass(kCidParameter, "DwParameter");
}

DwParameter::DwParameter(const std::string& text, DwMessageComponent* parent)
    : DwMessageComponent(text, parent) {
    SetClass(kCidParameter, "DwParameter");
}

DwParameter::DwParameter(const char* chars, size_t length, DwMessageComponent* parent)
    : DwMessageComponent(chars, length, parent) {
    SetClass(kCidParameter, "DwParameter");
}

DwParameter::DwParameter(const DwParameter& other)
    : DwMessageComponent(other), attribute_(other.attribute_), value_(other.value_) {
    SetClass(kCidParameter, "DwParameter");
}

DwParameter& DwParameter::operator=(const DwParameter& other) {
    if (this != &other) {
        DwMessageComponent::operator=(other);
        attribute_ = other.attribute_;
        value_ = other.value_;
        DropTrailingLineEnds(attribute_);
        DropTrailingLineEnds(value_);
    }
    return *this;
}

DwParameter::~DwParameter() = default;

DwMessageComponent* DwParameter::Clone() const {
    return new DwParameter(*this);
}

DwParameter* DwParameter::NewParameter(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewParameterHook, text, parent);
}

void DwParameter::SetAttribute(const std::string& attribute) {
    attribute_ = attribute;
    DropTrailingLineEnds(attribute_);
    MarkModified();
}

void DwParameter::SetValue(const std::string& value) {
    value_ = value;
    DropTrailingLineEnds(value_);
    MarkModified();
}

void DwParameter::Parse() {
    SetModified(false);
    attribute_.clear();
    value_.clear();
    const std::string_view text = TextView();
    if (text.empty()) return;
    DwMimeTokenCursor tokens(text);
    int type = tokens.Type();
    while (type != kTokenNull && type != kTokenMimeToken) type = tokens.Next();
    if (type == kTokenNull) return;
    const std::string_view attribute = tokens.Token();
    type = tokens.Next();
    while (type != kTokenNull && !tokens.Is('=')) type = tokens.Next();
    if (type != kTokenNull) type = tokens.Next();
    while (type != kTokenNull && type != kTokenMimeToken && type != kTokenQuotedString) type = tokens.Next();
    const bool found = type == kTokenMimeToken || type == kTokenQuotedString;
    ParseTokens(attribute, found ? tokens.Token() : std::string_view(), type == kTokenQuotedString);
}

void DwParameter::ParseTokens(std::string_view attribute, std::string_view value, bool quoted) {
    SetModified(false);
    attribute_.assign(attribute);
    DropTrailingLineEnds(attribute_);
    ParseValue(value_, attribute, value, quoted);
}

void DwParameter::ParseValue(std::string& out, std::string_view attribute, std::string_view value,
                             bool quoted) {
    if (quoted && value.size() >= 2) {
        AssignUnescaped(out, value.substr(1, value.size() - 2));
    } else {
        out.assign(value);
    }
    if (EqualNoCaseC(attribute.data(), attribute.size(), "boundary", 8) && out.size() > 2 &&
        out.front() == '\'' && out.back() == '\'') {
        out.pop_back();
        out.erase(0, 1);
    }
    DropTrailingLineEnds(out);
}

void DwParameter::Assemble() {
    if (!IsModified()) return;
    std::string text;
    for (char c : attribute_)
        if (c != '\r' && c != '\n') text += c;
    text += "=\"";
    AppendQuotable(text, value_);
    text += '"';
    text_ = std::move(text);
    SetModified(false);
}
