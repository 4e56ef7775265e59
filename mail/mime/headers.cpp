#include "mail/mime/headers.h"

#include <cstdlib>
#include <cstring>

#include "mail/mime/charclass.h"
#include "mail/mime/contentfile.h"
#include "mail/mime/disposition.h"
#include "mail/mime/field.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/text.h"

DwCreationHook<DwHeaders> DwHeaders::sNewHeadersHook = nullptr;

DwHeaders::DwHeaders() {
    SetClass(kCidHeaders, "DwHeaders");
}

DwHeaders::DwHeaders(const std::string& text, DwMessageComponent* parent) : DwMessageComponent(text, parent) {
    SetClass(kCidHeaders, "DwHeaders");
}

DwHeaders::DwHeaders(const DwHeaders& other) : DwMessageComponent(other) {
    SetClass(kCidHeaders, "DwHeaders");
    CopyFieldsFrom(other);
}

DwHeaders& DwHeaders::operator=(const DwHeaders& other) {
    if (this != &other) {
        fields_.DeleteAll();
        DwMessageComponent::operator=(other);
        CopyFieldsFrom(other);
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwHeaders::~DwHeaders() = default;

DwMessageComponent* DwHeaders::Clone() const {
    return new DwHeaders(*this);
}

DwHeaders* DwHeaders::NewHeaders(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewHeadersHook, text, parent);
}

void DwHeaders::CopyFieldsFrom(const DwHeaders& other) {
    for (int i = 0; i < other.fields_.Count(); ++i) {
        auto* field = static_cast<DwField*>(other.fields_.At(i)->Clone());
        if (!field) break;
        AdoptField(field);
    }
}

void DwHeaders::AdoptField(DwField* field) {
    if (fields_.Append(field)) {
        field->SetParent(this);
    } else {
        delete field;
    }
}

DwField& DwHeaders::FieldAt(int index) const {
    if (!fields_.IsIndex(index)) abort();
    return *fields_.At(index);
}

DwField* DwHeaders::FindField(const std::string& name) const {
    for (int i = 0; i < fields_.Count(); ++i) {
        DwField* field = fields_.At(i);
        if (EqualNoCaseC(field->FieldName().data(), field->FieldName().size(), name.data(), name.size()))
            return field;
    }
    return nullptr;
}

DwField* DwHeaders::FindField(const char* name) const {
    if (!name) return nullptr;
    for (int i = 0; i < fields_.Count(); ++i) {
        DwField* field = fields_.At(i);
        if (EqualNoCaseC(field->FieldName(), name)) return field;
    }
    return nullptr;
}

void DwHeaders::AppendField(DwField* field) {
    InsertFieldAt(FieldCount(), field);
}

void DwHeaders::InsertFieldAt(int index, DwField* field) {
    if (!field) return;
    if (!fields_.InsertAt(index, field)) return;
    field->SetParent(this);
    MarkModified();
}

DwField* DwHeaders::RemoveFieldAt(int index) {
    DwField* field = fields_.RemoveAt(index);
    if (!field) return nullptr;
    field->SetParent(nullptr);
    MarkModified();
    return field;
}

void DwHeaders::DeleteAllFields() {
    fields_.DeleteAll();
    MarkModified();
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

namespace {

// The accessors' own class: a creation hook that makes another is the application's fault.
template <class Class> Class& AsClass(DwFieldBody* body) {
    auto* typed = dynamic_cast<Class*>(body);
    if (!typed) abort();
    return *typed;
}

} // namespace

#define DW_HEADER_ACCESSOR_DEF(Member, Name, Class)                                                          \
    Class& DwHeaders::Member() {                                                                             \
        return AsClass<Class>(FieldBodyFor(Name));                                                           \
    }                                                                                                        \
    Class* DwHeaders::Find##Member() {                                                                       \
        return dynamic_cast<Class*>(FindFieldBody(Name));                                                    \
    }
DW_HEADER_FIELDS(DW_HEADER_ACCESSOR_DEF)
#undef DW_HEADER_ACCESSOR_DEF

namespace {

// The end of the field text that starts at pos: after the first LF that a character other than
// a blank or TAB follows, or the end of the text.
size_t FieldTextEnd(const std::string& text, size_t pos) {
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
    SetModified(false);
    fields_.DeleteAll();
    size_t pos = 0;
    while (pos < text_.size()) {
        const size_t end = FieldTextEnd(text_, pos);
        DwField* field = DwField::NewField(text_.substr(pos, end - pos), this);
        if (!field) break;
        field->Parse();
        AdoptField(field);
        pos = end;
    }
}

void DwHeaders::Assemble() {
    if (!IsModified()) return;
    std::string text;
    for (int i = 0; i < fields_.Count(); ++i) {
        DwField* field = fields_.At(i);
        field->Assemble();
        text += field->Text();
    }
    text_ = std::move(text);
    SetModified(false);
}
