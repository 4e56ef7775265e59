#include "mail/mime/field.h"

#include "mail/mime/fieldbody.h"

DwCreationHook<DwField> DwField::sNewFieldHook = nullptr;
DwFieldBodyHook DwField::sMakeFieldBodyHook = nullptr;

DwField::DwField() {
    SetClass(kCidField, "DwField");
}

DwField::DwField(const std::string& text, DwMessageComponent* parent) : DwMessageComponent(text, parent) {
    SetClass(kCidField, "DwField");
}

DwField::DwField(std::string&& text, DwMessageComponent* parent)
    : DwMessageComponent(std::move(text), parent) {
    SetClass(kCidField, "DwField");
}

DwField::DwField(DwTextSpan span, DwMessageComponent* parent) : DwMessageComponent(std::move(span), parent) {
    SetClass(kCidField, "DwField");
}

DwField::DwField(const DwField& other)
    : DwMessageComponent(other), fieldName_(other.fieldName_), fieldBodyText_(other.fieldBodyText_),
      bodyPending_(other.bodyPending_) {
    SetClass(kCidField, "DwField");
    if (other.fieldBody_) {
        fieldBody_ = static_cast<DwFieldBody*>(other.fieldBody_->Clone());
        if (fieldBody_) fieldBody_->SetParent(this);
    }
}

DwField& DwField::operator=(const DwField& other) {
    if (this != &other) {
        // A body kept from before is the one the old name and text gave.
        if (!other.fieldBody_ && !other.bodyPending_) FieldBody();
        DwMessageComponent::operator=(other);
        fieldName_ = other.fieldName_;
        fieldBodyText_ = other.fieldBodyText_;
        if (other.fieldBody_ || other.bodyPending_) {
            delete fieldBody_;
            fieldBody_ = nullptr;
            bodyPending_ = other.bodyPending_;
        }
        if (other.fieldBody_) {
            fieldBody_ = static_cast<DwFieldBody*>(other.fieldBody_->Clone());
            if (fieldBody_) fieldBody_->SetParent(this);
        }
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwField::~DwField() {
    delete fieldBody_;
}

DwMessageComponent* DwField::Clone() const {
    return new DwField(*this);
}

DwField* DwField::NewField(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewFieldHook, text, parent);
}

DwField* DwField::NewField(std::string&& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewFieldHook, std::move(text), parent);
}

DwField* DwField::NewField(DwTextSpan span, DwMessageComponent* parent) {
    if (sNewFieldHook) return sNewFieldHook(std::string(span.View()), parent);
    return new DwField(std::move(span), parent);
}

namespace {

bool IsTrailingSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

size_t TrimmedEnd(std::string_view s, size_t begin, size_t end) {
    while (end > begin && IsTrailingSpace(s[end - 1])) --end;
    return end;
}

} // namespace

void SplitField(std::string_view text, std::string& name, std::string& body) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        name.assign(text.data(), TrimmedEnd(text, 0, text.size()));
        body.clear();
        return;
    }
    name.assign(text.data(), TrimmedEnd(text, 0, colon));
    size_t start = colon + 1;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    body.assign(text.data() + start, TrimmedEnd(text, start, text.size()) - start);
}

void DwField::Parse() {
    SetModified(false);
    SplitField(TextView(), fieldName_, fieldBodyText_);
    delete fieldBody_;
    fieldBody_ = nullptr;
    bodyPending_ = true;
    if (FieldBodyHooksSet()) MakePendingBody();
}

void DwField::MakePendingBody() const {
    bodyPending_ = false;
    fieldBody_ = MakeFieldBody(fieldName_, fieldBodyText_, const_cast<DwField*>(this));
    if (fieldBody_) fieldBody_->Parse();
}

void DwField::Assemble() {
    if (!IsModified()) return;
    if (fieldBody_) {
        fieldBody_->Assemble();
        fieldBodyText_ = fieldBody_->Text();
    }
    std::string text = fieldName_ + ": " + fieldBodyText_ + "\r\n";
    SetTextSpan(DwTextSpan());
    text_ = std::move(text);
    SetModified(false);
}

void DwField::SetFieldName(const std::string& name) {
    // The body's class is the one the old name asks for.
    FieldBody();
    fieldName_ = name;
    MarkModified();
}

void DwField::SetFieldBodyText(const std::string& text) {
    fieldBodyText_ = text;
    delete fieldBody_;
    fieldBody_ = nullptr;
    bodyPending_ = false;
    MarkModified();
}

void DwField::SetFieldBody(DwFieldBody* body) {
    if (body == fieldBody_ && !bodyPending_) return;
    bodyPending_ = false;
    delete fieldBody_;
    fieldBody_ = body;
    if (body) body->SetParent(this);
    MarkModified();
}

DwFieldBody* DwField::ParsedFieldBody() {
    if (!FieldBody()) {
        fieldBody_ = MakeFieldBody(fieldName_, fieldBodyText_, this);
        if (fieldBody_) fieldBody_->Parse();
    }
    return fieldBody_;
}
