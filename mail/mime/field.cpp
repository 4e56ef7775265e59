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

DwField::DwField(const DwField& other)
    : DwMessageComponent(other), fieldName_(other.fieldName_), fieldBodyText_(other.fieldBodyText_),
      name_(other.name_), bodyText_(other.bodyText_), bodyPending_(other.bodyPending_) {
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
        name_ = other.name_;
        bodyText_ = other.bodyText_;
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

// A table: every field's body ends in a line end that is trimmed byte by byte.
struct TrailingSpaceBytes {
    bool in[256] = {};
    constexpr TrailingSpaceBytes() { in[' '] = in['\t'] = in['\r'] = in['\n'] = true; }
};
constexpr TrailingSpaceBytes kTrailingSpaceBytes;

bool IsTrailingSpace(char c) {
    return kTrailingSpaceBytes.in[static_cast<unsigned char>(c)];
}

size_t TrimmedEnd(std::string_view s, size_t begin, size_t end) {
    while (end > begin && IsTrailingSpace(s[end - 1])) --end;
    return end;
}

// Inline in the field's Parse, which every field of a message runs. A colon given by the caller ends
// a name without blanks: there is nothing to trim before it.
[[gnu::always_inline]] inline DwFieldSplit SplitAtColon(std::string_view text,
                                                        size_t colon = std::string_view::npos) {
    DwFieldSplit split;
    if (colon == std::string_view::npos) {
        colon = text.find(':');
        if (colon == std::string_view::npos) {
            split.nameLength = TrimmedEnd(text, 0, text.size());
            split.bodyStart = text.size();
            return split;
        }
        split.nameLength = TrimmedEnd(text, 0, colon);
    } else {
        split.nameLength = colon;
    }
    size_t start = colon + 1;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    split.bodyStart = start;
    split.bodyLength = TrimmedEnd(text, start, text.size()) - start;
    return split;
}

} // namespace

DwFieldSplit SplitFieldText(std::string_view text) {
    return SplitAtColon(text);
}

void SplitField(std::string_view text, std::string& name, std::string& body) {
    const DwFieldSplit split = SplitFieldText(text);
    name.assign(text.data(), split.nameLength);
    body.assign(text.data() + split.bodyStart, split.bodyLength);
}

void DwField::CopyPiece(Piece& piece, std::string& out) const {
    out.assign(PieceView(piece));
    piece.pending = false;
}

// The old text's pieces are copied out before it goes.
void DwField::BeforeTextChange() {
    FieldName();
    FieldBodyText();
}

void DwField::Parse() {
    ParseWith(FieldBodyHooksSet(), std::string::npos);
}

void DwField::ParseWith(bool hooks, size_t colon) {
    SetModified(false);
    const std::string_view text = TextView();
    const DwFieldSplit split = SplitAtColon(text, colon);
    if (text.size() <= UINT32_MAX) {
        name_ = {0, static_cast<uint32_t>(split.nameLength), true};
        bodyText_ = {static_cast<uint32_t>(split.bodyStart), static_cast<uint32_t>(split.bodyLength), true};
        fieldName_.clear();
        fieldBodyText_.clear();
    } else {
        name_ = bodyText_ = Piece();
        SplitField(text, fieldName_, fieldBodyText_);
    }
    delete fieldBody_;
    fieldBody_ = nullptr;
    bodyPending_ = true;
    if (hooks) MakePendingBody();
}

void DwField::MakePendingBody() const {
    bodyPending_ = false;
    DwField* self = const_cast<DwField*>(this);
    // A hook gets the name and the text as strings; the library's own classes read them in place.
    if (FieldBodyHooksSet()) {
        fieldBody_ = MakeFieldBody(FieldName(), FieldBodyText(), self);
    } else {
        const DwTextSpan* span = TextSpan();
        DwTextSpan shared =
            span && bodyText_.pending ? span->Sub(bodyText_.start, bodyText_.length) : DwTextSpan();
        fieldBody_ = MakeOwnFieldBody(FieldNameView(), FieldBodyTextView(), std::move(shared), self);
    }
    if (fieldBody_) fieldBody_->Parse();
}

void DwField::MoveTextSpan(DwTextSpan span) {
    const DwTextSpan* old = TextSpan();
    const DwTextSpan* body = fieldBody_ ? fieldBody_->TextSpan() : nullptr;
    if (old && body && body->buffer == old->buffer && body->offset >= old->offset &&
        body->offset + body->length <= old->offset + old->length)
        fieldBody_->SetTextSpan(span.Sub(body->offset - old->offset, body->length));
    SetTextSpan(std::move(span));
}

void DwField::Assemble() {
    if (!IsModified()) return;
    if (fieldBody_) {
        fieldBody_->Assemble();
        fieldBodyText_ = fieldBody_->Text();
        bodyText_.pending = false;
    }
    std::string text = FieldName() + ": " + FieldBodyText() + "\r\n";
    SetTextSpan(DwTextSpan());
    text_ = std::move(text);
    SetModified(false);
}

void DwField::SetFieldName(const std::string& name) {
    // The body's class is the one the old name asks for.
    FieldBody();
    fieldName_ = name;
    name_.pending = false;
    MarkModified();
}

void DwField::SetFieldBodyText(const std::string& text) {
    fieldBodyText_ = text;
    bodyText_.pending = false;
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
        fieldBody_ = MakeFieldBody(FieldName(), FieldBodyText(), this);
        if (fieldBody_) fieldBody_->Parse();
    }
    return fieldBody_;
}
