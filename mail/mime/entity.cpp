#include "mail/mime/entity.h"

#include <cstdlib>
#include <cstring>

#include "mail/mime/body.h"
#include "mail/mime/headers.h"

namespace {

bool IsFieldNameByte(unsigned char c) {
    return c > ' ' && c < 0x7F && c != ':';
}

// Whether the line [begin, end) (without its line end) is a field or a continuation line.
bool IsHeaderLine(const char* begin, const char* end, bool first) {
    if (begin == end) return false;
    if (*begin == ' ' || *begin == '\t') return true;
    if (first && end - begin >= 5 && memcmp(begin, "From ", 5) == 0) return true;
    const char* p = begin;
    while (p != end && IsFieldNameByte(static_cast<unsigned char>(*p))) ++p;
    if (p == begin) return false;
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
    return p != end && *p == ':';
}

} // namespace

void SplitHeadersAndBody(const std::string& text, std::string& headers, std::string& body) {
    const char* const start = text.data();
    const char* const end = start + text.size();
    const char* line = start;
    while (line != end) {
        const char* lf = static_cast<const char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
        const char* lineEnd = lf ? lf : end;
        if (lf && lf > line && lf[-1] == '\r') --lineEnd;
        // A last line without its line end is body too unless it is a field: a part whose
        // delimiter follows its one body line directly must not lose that line.
        if (!IsHeaderLine(line, lineEnd, line == start)) {
            headers.assign(start, line);
            // Only an empty line at the split point is the separator.
            body.assign(lf && lineEnd == line ? lf + 1 : line, end);
            return;
        }
        if (!lf) break;
        line = lf + 1;
    }
    headers = text;
    body.clear();
}

DwEntity::DwEntity() {
    SetClass(kCidEntity, "DwEntity");
    MakeChildren();
}

DwEntity::DwEntity(const std::string& text, DwMessageComponent* parent) : DwMessageComponent(text, parent) {
    SetClass(kCidEntity, "DwEntity");
    MakeChildren();
}

DwEntity::DwEntity(const DwEntity& other) : DwMessageComponent(other) {
    SetClass(kCidEntity, "DwEntity");
    CloneChildren(other);
}

DwEntity& DwEntity::operator=(const DwEntity& other) {
    if (this != &other) {
        DwMessageComponent::operator=(other);
        delete headers_;
        delete body_;
        headers_ = nullptr;
        body_ = nullptr;
        CloneChildren(other);
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwEntity::~DwEntity() {
    delete headers_;
    delete body_;
}

// An entity always has both children: a creation hook that yields none is the application's fault.
void DwEntity::MakeChildren() {
    headers_ = DwHeaders::NewHeaders(std::string(), this);
    body_ = DwBody::NewBody(std::string(), this);
    if (!headers_ || !body_) abort();
}

void DwEntity::CloneChildren(const DwEntity& other) {
    headers_ = static_cast<DwHeaders*>(other.headers_->Clone());
    body_ = static_cast<DwBody*>(other.body_->Clone());
    if (!headers_ || !body_) abort();
    headers_->SetParent(this);
    body_->SetParent(this);
}

void DwEntity::Parse() {
    SetModified(false);
    std::string headerText;
    std::string bodyText;
    SplitHeadersAndBody(text_, headerText, bodyText);
    headers_->SetText(std::move(headerText));
    body_->SetText(std::move(bodyText));
    headers_->Parse();
    body_->Parse();
}

void DwEntity::Assemble() {
    if (!IsModified()) return;
    body_->Assemble();
    headers_->Assemble();
    std::string text;
    text.reserve(headers_->Text().size() + 2 + body_->Text().size());
    text += headers_->Text();
    text += "\r\n";
    text += body_->Text();
    text_ = std::move(text);
    SetModified(false);
}
