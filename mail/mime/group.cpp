#include "mail/mime/group.h"

#include "mail/mime/mailboxlist.h"
#include "mail/mime/tokenizer.h"
#include "mail/mime/tokenstring.h"

namespace {

bool IsSpecial(const DwTokenizer& t, char c) {
    return t.Type() == kTokenSpecial && t.Token()[0] == c;
}

} // namespace

DwCreationHook<DwGroup> DwGroup::sNewGroupHook = nullptr;

DwGroup::DwGroup() {
    SetClass(kCidGroup, "DwGroup");
    TakeMailboxes(nullptr);
}

DwGroup::DwGroup(const std::string& text, DwMessageComponent* parent) : DwAddress(text, parent) {
    SetClass(kCidGroup, "DwGroup");
    TakeMailboxes(nullptr);
}

DwGroup::DwGroup(const DwGroup& other) : DwAddress(other), groupName_(other.groupName_) {
    SetClass(kCidGroup, "DwGroup");
    TakeMailboxes(static_cast<DwMailboxList*>(other.mailboxes_->Clone()));
}

DwGroup& DwGroup::operator=(const DwGroup& other) {
    if (this != &other) {
        DwAddress::operator=(other);
        groupName_ = other.groupName_;
        TakeMailboxes(static_cast<DwMailboxList*>(other.mailboxes_->Clone()));
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwGroup::~DwGroup() {
    delete mailboxes_;
}

// Replaces the list by the given one, or by a new empty one for null.
void DwGroup::TakeMailboxes(DwMailboxList* list) {
    delete mailboxes_;
    if (!list) list = DwMailboxList::NewMailboxList(std::string(), this);
    mailboxes_ = list ? list : new DwMailboxList();
    mailboxes_->SetParent(this);
}

DwGroup* DwGroup::NewGroup(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewGroupHook, text, parent);
}

DwMessageComponent* DwGroup::Clone() const {
    return new DwGroup(*this);
}

void DwGroup::SetGroupName(const std::string& name) {
    groupName_ = name;
    MarkModified();
}

void DwGroup::Parse() {
    SetModified(false);
    groupName_.clear();
    isValid_ = 0;
    DwRfc822Tokenizer t{std::string_view(text_)};
    for (; t.Type() != kTokenNull && !IsSpecial(t, ':'); t.NextToken()) {
        if (t.Type() != kTokenAtom && t.Type() != kTokenQuotedString) continue;
        if (!groupName_.empty()) groupName_ += ' ';
        groupName_ += t.Token();
    }
    if (t.Type() != kTokenNull) t.NextToken();
    DwTokenString window{std::string_view(text_)};
    window.BeginAt(t);
    while (t.Type() != kTokenNull && !IsSpecial(t, ';')) t.NextToken();
    // Without the ';' the members run to the end of the text.
    window.EndBefore(t);
    TakeMailboxes(DwMailboxList::NewMailboxList(window.Tokens(), this));
    mailboxes_->Parse();
    DwBlankLineEnds(groupName_);
    isValid_ = !groupName_.empty();
}

void DwGroup::Assemble() {
    if (!IsModified()) return;
    if (groupName_.empty()) {
        isValid_ = 0;
        return;
    }
    mailboxes_->Assemble();
    text_ = DwPhraseText(groupName_) + ":" + mailboxes_->Text() + ";";
    isValid_ = 1;
    SetModified(false);
}
