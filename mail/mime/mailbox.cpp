#include "mail/mime/mailbox.h"

#include "mail/mime/base64.h"
#include "mail/mime/charclass.h"
#include "mail/mime/encodedword.h"
#include "mail/mime/text.h"
#include "mail/mime/tokenizer.h"

namespace {

enum State { kStart, kAfterAngle, kRoute, kLocal, kDomain, kEnd };

// The Q encoding as RFC 2047 allows it in a phrase: letters, digits and "!*+-/" as they are,
// a blank as '_', every other byte as =XX.
std::string PhraseQEncode(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (IsCAlnum(u) || (c && std::char_traits<char>::find("!*+-/", 5, c))) {
            out += c;
        } else if (c == ' ') {
            out += '_';
        } else {
            out += '=';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

} // namespace

DwCreationHook<DwMailbox> DwMailbox::sNewMailboxHook = nullptr;

DwMailbox::DwMailbox() {
    SetClass(kCidMailbox, "DwMailbox");
}

DwMailbox::DwMailbox(const std::string& text, DwMessageComponent* parent) : DwAddress(text, parent) {
    SetClass(kCidMailbox, "DwMailbox");
}

DwMailbox::DwMailbox(const DwMailbox& other) : DwAddress(other) {
    SetClass(kCidMailbox, "DwMailbox");
    CopyStrings(other);
}

DwMailbox& DwMailbox::operator=(const DwMailbox& other) {
    if (this != &other) {
        DwAddress::operator=(other);
        CopyStrings(other);
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwMailbox::~DwMailbox() = default;

void DwMailbox::CopyStrings(const DwMailbox& other) {
    displayName_ = other.displayName_;
    displayNameDecoded_ = other.displayNameDecoded_;
    displayNameCharset_ = other.displayNameCharset_;
    route_ = other.route_;
    localPart_ = other.localPart_;
    domain_ = other.domain_;
}

DwMailbox* DwMailbox::NewMailbox(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewMailboxHook, text, parent);
}

DwMessageComponent* DwMailbox::Clone() const {
    return new DwMailbox(*this);
}

void DwMailbox::DecodedDisplayName(std::string& name, std::string& charset) const {
    name = displayNameDecoded_;
    charset = displayNameCharset_;
}

void DwMailbox::StoreDisplayName(const std::string& name) {
    displayName_ = name;
    displayNameDecoded_.clear();
    displayNameCharset_.clear();
    DwText words(name, nullptr);
    words.Parse();
    bool previousEncoded = false;
    for (int i = 0; i < words.WordCount(); ++i) {
        const DwEncodedWord& word = words.WordAt(i);
        bool encoded = word.EncodingType() != 0;
        // Adjacent encoded words join without the blank between them (RFC 2047).
        if (i > 0 && !(encoded && previousEncoded)) displayNameDecoded_ += ' ';
        displayNameDecoded_ += word.DecodedText();
        if (displayNameCharset_.empty() && !EqualNoCaseC(word.Charset(), "us-ascii"))
            displayNameCharset_ = word.Charset();
        previousEncoded = encoded;
    }
}

void DwMailbox::SetDisplayName(const std::string& name) {
    StoreDisplayName(name);
    MarkModified();
}

void DwMailbox::SetEncodedDisplayName(const std::string& name, const std::string& charset, char encoding) {
    displayNameDecoded_ = name;
    displayNameCharset_ = charset;
    if (encoding == 'Q' || encoding == 'q') {
        displayName_ = "=?" + charset + "?Q?" + PhraseQEncode(name) + "?=";
    } else if (encoding == 'B' || encoding == 'b') {
        std::string encoded;
        Base64EncodeWord(name, encoded);
        displayName_ = "=?" + charset + "?B?" + encoded + "?=";
    } else {
        displayName_ = name;
    }
    MarkModified();
}

void DwMailbox::SetRoute(const std::string& route) {
    route_ = route;
    MarkModified();
}

void DwMailbox::SetLocalPart(const std::string& localPart) {
    localPart_ = localPart;
    MarkModified();
}

void DwMailbox::SetDomain(const std::string& domain) {
    domain_ = domain;
    MarkModified();
}

void DwMailbox::Parse() {
    SetModified(false);
    route_.clear();
    localPart_.clear();
    domain_.clear();
    displayName_.clear();
    // A name read before must not outlive its text.
    displayNameDecoded_.clear();
    displayNameCharset_.clear();
    std::string phrase, comment;
    bool angle = false;
    State state = kStart;
    for (DwRfc822Tokenizer t{std::string_view(text_)}; t.Type() != kTokenNull; t.NextToken()) {
        const int type = t.Type();
        const char special = type == kTokenSpecial ? t.Token()[0] : '\0';
        const bool word = type == kTokenAtom || type == kTokenQuotedString;
        switch (state) {
        case kStart:
            if (word) {
                if (!phrase.empty()) phrase += ' ';
                phrase += t.Token();
                localPart_ += t.Token();
            } else if (special == '<') {
                localPart_.clear();
                angle = true;
                state = kAfterAngle;
            } else if (special == '@') {
                state = kDomain;
            } else if (special == '.') {
                localPart_ += '.';
            } else if (type == kTokenComment) {
                t.TrimDelimiters();
                comment = t.Token();
            }
            break;
        case kAfterAngle:
            if (word) {
                localPart_ = t.Token();
                state = kLocal;
            } else if (special == '@') {
                route_ = "@";
                state = kRoute;
            }
            break;
        case kRoute:
            if (type == kTokenAtom || type == kTokenDomainLiteral || special == '.' || special == ',' ||
                special == '@') {
                route_ += t.Token();
            } else if (special == ':') {
                state = kLocal;
            }
            break;
        case kLocal:
            if (word || special == '.') {
                localPart_ += t.Token();
            } else if (special == '@') {
                state = kDomain;
            }
            break;
        case kDomain:
            if (type == kTokenAtom || type == kTokenDomainLiteral || special == '.') {
                domain_ += t.Token();
            } else if (special == '>') {
                state = kEnd;
            } else if (type == kTokenComment) {
                t.TrimDelimiters();
                comment = t.Token();
            }
            break;
        case kEnd:
            if (type == kTokenComment) {
                t.TrimDelimiters();
                comment = t.Token();
            }
            break;
        }
    }
    DwBlankLineEnds(phrase);
    DwBlankLineEnds(comment);
    DwBlankLineEnds(localPart_);
    if (!angle)
        StoreDisplayName(comment);
    else if (!phrase.empty())
        StoreDisplayName(phrase);
    else if (!comment.empty())
        StoreDisplayName(comment);
    isValid_ = !localPart_.empty() && !domain_.empty();
}

void DwMailbox::Assemble() {
    if (!IsModified()) return;
    isValid_ = 1;
    if (localPart_.empty() || domain_.empty()) {
        // Dropping the text would drop the address from the header.
        isValid_ = 0;
        return;
    }
    std::string text = DwPhraseText(displayName_);
    if (!text.empty()) text += ' ';
    text += '<';
    if (!route_.empty()) text += route_ + ":";
    text += localPart_ + "@" + domain_ + ">";
    text_ = text;
    SetModified(false);
}
