#include "mail/mime/headers.h"

#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "mail/mime/addresslist.h"
#include "mail/mime/contentfile.h"
#include "mail/mime/datetime.h"
#include "mail/mime/disposition.h"
#include "mail/mime/field.h"
#include "mail/mime/mailbox.h"
#include "mail/mime/mailboxlist.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/msgid.h"
#include "mail/mime/stamp.h"
#include "mail/mime/text.h"

DwCreationHook<DwHeaders> DwHeaders::sNewHeadersHook = nullptr;

DwHeaders::DwHeaders(const std::string& text, DwMessageComponent* parent)
    : DwMessageComponent(text, parent), fields_(this) {
    SetClass(kCidHeaders, "DwHeaders");
}

DwHeaders::DwHeaders(const DwHeaders& other) : DwMessageComponent(other), fields_(this) {
    SetClass(kCidHeaders, "DwHeaders");
    fields_.AdoptClonesOf(other.fields_);
}

DwHeaders& DwHeaders::operator=(const DwHeaders& other) {
    if (this != &other) {
        fields_.DeleteAll();
        DwMessageComponent::operator=(other);
        fields_.AdoptClonesOf(other.fields_);
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwMessageComponent* DwHeaders::Clone() const {
    return new DwHeaders(*this);
}

DwHeaders* DwHeaders::NewHeaders(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewHeadersHook, text, parent);
}

void DwHeaders::AppendField(DwField* field) {
    InsertFieldAt(FieldCount(), field);
}

void DwHeaders::InsertFieldAt(int index, DwField* field) {
    fields_.Insert(index, field);
}

DwField* DwHeaders::RemoveFieldAt(int index) {
    return fields_.Remove(index);
}

void DwHeaders::DeleteAllFields() {
    fields_.DeleteAllMarking();
}

DwFieldBody* DwHeaders::FieldBodyFor(const std::string& name) {
    DwField* field = FindField(name);
    if (!field) {
        field = DwField::NewField(std::string(), this);
        if (!field) return nullptr;
        field->SetFieldName(name);
        DwFieldBody* body = DwField::MakeFieldBody(name, std::string(), field);
        if (body) body->Parse();
        field->SetFieldBody(body);
        AppendField(field);
        return field->FieldBody();
    }
    if (!field->FieldBody()) {
        // The body was replaced by text: parse that text, do not start from nothing.
        field->ParsedFieldBody();
        MarkModified();
    }
    return field->FieldBody();
}

DwFieldBody* DwHeaders::FindFieldBody(const std::string& name) {
    DwField* field = FindField(name);
    return field ? field->ParsedFieldBody() : nullptr;
}

DwFieldBody* DwHeaders::FindFieldBody(const char* name) {
    DwField* field = FindField(name);
    return field ? field->ParsedFieldBody() : nullptr;
}

namespace {

// The body as the class, or null; the library's own class is told without a walk of the hierarchy.
template <class Class> Class* AsClassOrNull(DwFieldBody* body) {
    if (body && typeid(*body) == typeid(Class)) return static_cast<Class*>(body);
    return dynamic_cast<Class*>(body);
}

// The accessors' own class: a creation hook that makes another is the application's fault.
template <class Class> Class& AsClass(DwFieldBody* body) {
    auto* typed = AsClassOrNull<Class>(body);
    if (!typed) abort();
    return *typed;
}

} // namespace

#define DW_HEADER_ACCESSOR_DEF(Member, Name, Class)                                                          \
    Class& DwHeaders::Member() {                                                                             \
        return AsClass<Class>(FieldBodyFor(Name));                                                           \
    }                                                                                                        \
    Class* DwHeaders::Find##Member() {                                                                       \
        DwField* field = FindField(Name);                                                                    \
        return field ? AsClassOrNull<Class>(field->ParsedFieldBody()) : nullptr;                             \
    }
DW_HEADER_FIELDS(DW_HEADER_ACCESSOR_DEF)
#undef DW_HEADER_ACCESSOR_DEF

namespace {

// The end of the field text that starts at pos: after the first LF that a character other than
// a blank or TAB follows, or the end of the text.
size_t FieldTextEnd(std::string_view text, size_t pos) {
    const size_t n = text.size();
    while (pos < n) {
        const void* lf = memchr(text.data() + pos, '\n', n - pos);
        if (!lf) return n;
        pos = static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
        if (pos < n && text[pos] != ' ' && text[pos] != '\t') return pos;
    }
    return n;
}

} // namespace

void DwHeaders::Parse() {
    ParseFields(std::string::npos, std::string::npos, DwField::FieldBodyHooksSet());
}

bool DwHeaders::ParseFields(size_t firstEnd, size_t firstColon, bool fieldBodyHooks) {
    SetModified(false);
    fields_.DeleteAll();
    // A field of the library's own is told once for all whether a hook is set.
    const bool ownFields = !DwField::sNewFieldHook;
    if (TextView().empty()) return true;
    // The fields are pieces of the header block, itself a piece of the message's text after an
    // entity's Parse.
    const DwTextSpan& text = ShareText();
    const std::string_view view = text.View();
    // The first field's end is found once: most header blocks of a part hold one field.
    if (firstEnd == std::string::npos) firstEnd = FieldTextEnd(view, 0);
    int count = 1;
    for (size_t pos = firstEnd; pos < view.size(); pos = FieldTextEnd(view, pos)) ++count;
    fields_.ReserveFirst(count);
    size_t pos = 0;
    while (pos < view.size()) {
        const size_t end = pos == 0 ? firstEnd : FieldTextEnd(view, pos);
        DwField* field = ownFields ? new DwField(text.Sub(pos, end - pos), this)
                                   : DwField::NewField(text.Sub(pos, end - pos), this);
        if (!field) break;
        if (ownFields) {
            field->ParseWith(fieldBodyHooks, pos == 0 ? firstColon : std::string::npos);
        } else {
            field->Parse();
        }
        fields_.Adopt(field);
        pos = end;
    }
    return ownFields && !fieldBodyHooks;
}

void DwHeaders::Assemble() {
    if (!IsModified()) return;
    std::string text;
    for (int i = 0; i < fields_.Count(); ++i) {
        DwField* field = fields_.At(i);
        field->Assemble();
        text += field->TextView();
    }
    SetTextSpan(DwTextSpan());
    text_ = std::move(text);
    SetModified(false);
}
