#include "mail/mime/parameter.h"

#include "mail/mime/charclass.h"
#include "mail/mime/tokenizer.h"

DwCreationHook<DwParameter> DwParameter::sNewParameterHook = nullptr;

namespace {

void DropTrailingLineEnds(std::string& s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
}

// The contents of a quoted string without its backslash escapes (the quotes already trimmed).
std::string Unescape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) ++i;
        out += s[i];
    }
    return out;
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
    if (text_.empty()) return;
    DwRfc1521Tokenizer tokenizer{std::string_view(text_)};
    int type = tokenizer.Type();
    while (type != kTokenNull && type != kTokenMimeToken) type = tokenizer.NextToken();
    if (type == kTokenNull) return;
    attribute_ = tokenizer.Token();
    type = tokenizer.NextToken();
    while (type != kTokenNull && !(type == kTokenTspecial && tokenizer.Token() == "="))
        type = tokenizer.NextToken();
    if (type != kTokenNull) type = tokenizer.NextToken();
    while (type != kTokenNull && type != kTokenMimeToken && type != kTokenQuotedString)
        type = tokenizer.NextToken();
    if (type == kTokenMimeToken) {
        value_ = tokenizer.Token();
    } else if (type == kTokenQuotedString) {
        tokenizer.TrimDelimiters();
        value_ = Unescape(tokenizer.Token());
    }
    if (EqualNoCaseC(attribute_, "boundary") && value_.size() > 2 && value_.front() == '\'' &&
        value_.back() == '\'')
        value_ = value_.substr(1, value_.size() - 2);
    DropTrailingLineEnds(value_);
    DropTrailingLineEnds(attribute_);
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
