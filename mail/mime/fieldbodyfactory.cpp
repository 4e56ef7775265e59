// MakeFieldBody: the class of a field body chosen by the field name.
#include <cstdint>

#include "mail/mime/addresslist.h"
#include "mail/mime/charclass.h"
#include "mail/mime/contentfile.h"
#include "mail/mime/datetime.h"
#include "mail/mime/disposition.h"
#include "mail/mime/encodedword.h"
#include "mail/mime/field.h"
#include "mail/mime/group.h"
#include "mail/mime/mailbox.h"
#include "mail/mime/mailboxlist.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/msgid.h"
#include "mail/mime/parameter.h"
#include "mail/mime/stamp.h"
#include "mail/mime/text.h"

namespace {

using MakeBody = DwFieldBody* (*)(const std::string& text, DwMessageComponent* parent);

DwFieldBody* NewAddressListBody(const std::string& text, DwMessageComponent* parent) {
    return DwAddressList::NewAddressList(text, parent);
}
DwFieldBody* NewMailboxListBody(const std::string& text, DwMessageComponent* parent) {
    return DwMailboxList::NewMailboxList(text, parent);
}
DwFieldBody* NewMailboxBody(const std::string& text, DwMessageComponent* parent) {
    return DwMailbox::NewMailbox(text, parent);
}
DwFieldBody* NewDateTimeBody(const std::string& text, DwMessageComponent* parent) {
    return DwDateTime::NewDateTime(text, parent);
}
DwFieldBody* NewMsgIdBody(const std::string& text, DwMessageComponent* parent) {
    return DwMsgId::NewMsgId(text, parent);
}
DwFieldBody* NewStampBody(const std::string& text, DwMessageComponent* parent) {
    return DwStamp::NewStamp(text, parent);
}
DwFieldBody* NewMediaTypeBody(const std::string& text, DwMessageComponent* parent) {
    return DwMediaType::NewMediaType(text, parent);
}
DwFieldBody* NewMechanismBody(const std::string& text, DwMessageComponent* parent) {
    return DwMechanism::NewMechanism(text, parent);
}
DwFieldBody* NewDispositionBody(const std::string& text, DwMessageComponent* parent) {
    return DwDispositionType::NewDispositionType(text, parent);
}
DwFieldBody* NewContentFileBody(const std::string& text, DwMessageComponent* parent) {
    return DwContentFileType::NewContentFileType(text, parent);
}

// While no hook is set: a media type straight from the body text where it lies in the field, a piece
// of the field's shared text when there is one.
DwFieldBody* NewMediaTypeFromPiece(std::string_view text, DwTextSpan&& shared, DwMessageComponent* parent) {
    if (shared.buffer) return new DwMediaType(std::move(shared), parent);
    return new DwMediaType(text.data(), text.size(), parent);
}

struct BodyClass {
    std::string_view name; // as mail usually spells it
    MakeBody make;
    DwFieldBody* (*makeFromPiece)(std::string_view text, DwTextSpan&& shared,
                                  DwMessageComponent* parent) = nullptr;
};

const BodyClass kBodyClasses[] = {
    {"Bcc", NewAddressListBody},
    {"Cc", NewAddressListBody},
    {"Content-Type", NewMediaTypeBody, NewMediaTypeFromPiece},
    {"Content-Transfer-Encoding", NewMechanismBody},
    {"Content-Disposition", NewDispositionBody},
    {"Content-ID", NewMsgIdBody},
    {"Date", NewDateTimeBody},
    {"From", NewMailboxListBody},
    {"Message-ID", NewMsgIdBody},
    {"Received", NewStampBody},
    {"Reply-To", NewAddressListBody},
    {"Resent-To", NewAddressListBody},
    {"Resent-Cc", NewAddressListBody},
    {"Resent-Bcc", NewAddressListBody},
    {"Resent-Reply-To", NewAddressListBody},
    {"Resent-From", NewMailboxListBody},
    {"Resent-Sender", NewMailboxBody},
    {"Resent-Date", NewDateTimeBody},
    {"Resent-Message-ID", NewMsgIdBody},
    {"Return-Path", NewMailboxBody},
    {"Sender", NewMailboxBody},
    {"To", NewAddressListBody},
    {"X-Content-File", NewContentFileBody},
};

const BodyClass* FindBodyClass(std::string_view name) {
    if (name.empty()) return nullptr;
    // Only the names that start like this one are compared in full; most are spelled as listed.
    const unsigned char first = CToLower(static_cast<unsigned char>(name[0]));
    for (const BodyClass& bodyClass : kBodyClasses) {
        if (bodyClass.name.size() == name.size() &&
            CToLower(static_cast<unsigned char>(bodyClass.name[0])) == first &&
            (bodyClass.name == name ||
             EqualNoCaseC(name.data(), name.size(), bodyClass.name.data(), bodyClass.name.size())))
            return &bodyClass;
    }
    return nullptr;
}

} // namespace

DwFieldBody* DwField::MakeFieldBody(const std::string& name, const std::string& text,
                                    DwMessageComponent* parent) {
    if (sMakeFieldBodyHook) return sMakeFieldBodyHook(name, text, parent);
    if (const BodyClass* bodyClass = FindBodyClass(name)) return bodyClass->make(text, parent);
    return DwText::NewText(text, parent);
}

DwFieldBody* DwField::MakeOwnFieldBody(std::string_view name, std::string_view text, DwTextSpan&& shared,
                                       DwMessageComponent* parent) {
    const BodyClass* bodyClass = FindBodyClass(name);
    if (bodyClass && bodyClass->makeFromPiece)
        return bodyClass->makeFromPiece(text, std::move(shared), parent);
    const std::string copy(text);
    return bodyClass ? bodyClass->make(copy, parent) : DwText::NewText(copy, parent);
}

namespace {

// Whether any of the pointers is set, told by one test of them all rather than one test each.
template <class... Pointers> bool AnySet(Pointers... pointers) {
    return (reinterpret_cast<uintptr_t>(pointers) | ...) != 0;
}

} // namespace

bool DwField::FieldBodyHooksSet() {
    // Asked several times for every part.
    return AnySet(sMakeFieldBodyHook, DwAddressList::sNewAddressListHook,
                  DwContentFileType::sNewContentFileTypeHook, DwDateTime::sNewDateTimeHook,
                  DwDispositionType::sNewDispositionTypeHook, DwEncodedWord::sNewEncodedWordHook,
                  DwGroup::sNewGroupHook, DwMailbox::sNewMailboxHook, DwMailboxList::sNewMailboxListHook,
                  DwMechanism::sNewMechanismHook, DwMediaType::sNewMediaTypeHook, DwMsgId::sNewMsgIdHook,
                  DwParameter::sNewParameterHook, DwStamp::sNewStampHook, DwText::sNewTextHook);
}
