#include "mail/mime/msgid.h"

#include <cstdint>
#include <cstdio>

#include "mail/mime/generators.h"
#include "mail/mime/tokenizer.h"

namespace {

constexpr size_t kHostBufferSize = 80;
constexpr int kMaxHostInId = 55;

bool IsSpecial(const DwTokenizer& t, char c) {
    return t.Type() == kTokenSpecial && t.Token().size() == 1 && t.Token()[0] == c;
}

} // namespace

DwCreationHook<DwMsgId> DwMsgId::sNewMsgIdHook = nullptr;

DwMsgId::DwMsgId() {
    SetClass(kCidMsgId, "DwMsgId");
}

DwMsgId::DwMsgId(const std::string& text, DwMessageComponent* parent) : DwFieldBody(text, parent) {
    SetClass(kCidMsgId, "DwMsgId");
}

DwMsgId::DwMsgId(const DwMsgId& other)
    : DwFieldBody(other), localPart_(other.localPart_), domain_(other.domain_) {
    SetClass(kCidMsgId, "DwMsgId");
}

DwMsgId& DwMsgId::operator=(const DwMsgId& other) {
    if (this != &other) {
        DwFieldBody::operator=(other);
        localPart_ = other.localPart_;
        domain_ = other.domain_;
    }
    return *this;
}

DwMsgId::~DwMsgId() = default;

DwMsgId* DwMsgId::NewMsgId(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewMsgIdHook, text, parent);
}

DwMessageComponent* DwMsgId::Clone() const {
    return new DwMsgId(*this);
}

void DwMsgId::SetLocalPart(const std::string& localPart) {
    localPart_ = localPart;
    MarkModified();
}

void DwMsgId::SetDomain(const std::string& domain) {
    domain_ = domain;
    MarkModified();
}

void DwMsgId::Parse() {
    SetModified(false);
    localPart_.clear();
    domain_.clear();
    DwRfc822Tokenizer t{std::string_view(text_)};
    for (; t.Type() != kTokenNull && !IsSpecial(t, '<'); t.NextToken()) {
    }
    if (t.Type() == kTokenNull) return;
    for (t.NextToken(); t.Type() != kTokenNull && !IsSpecial(t, '@'); t.NextToken()) {
        if (t.Type() == kTokenAtom || t.Type() == kTokenQuotedString || IsSpecial(t, '.'))
            localPart_ += t.Token();
    }
    if (t.Type() == kTokenNull) return;
    for (t.NextToken(); t.Type() != kTokenNull && !IsSpecial(t, '>'); t.NextToken()) {
        if (t.Type() == kTokenAtom || t.Type() == kTokenDomainLiteral || IsSpecial(t, '.'))
            domain_ += t.Token();
    }
}

void DwMsgId::Assemble() {
    if (!IsModified()) return;
    // "<@>" would be no identifier at all; the caller sees the id still modified.
    if (localPart_.empty() || domain_.empty()) return;
    text_ = "<" + localPart_ + "@" + domain_ + ">";
    SetModified(false);
}

void DwMsgId::CreateDefault() {
    char host[kHostBufferSize];
    host[0] = '\0';
    HostName(host, sizeof host);
    char id[128];
    snprintf(id, sizeof id, "<%08X.%06X.%05u@%.*s>",
             static_cast<unsigned>(static_cast<uint32_t>(CurrentTime())),
             static_cast<unsigned>(NextSerial() & 0xFFFFFFu), static_cast<unsigned>(ProcessId()) % 100000u,
             kMaxHostInId, host);
    SetText(std::string(id)); // clears the own flag, marks the field to be written
    Parse();
}
