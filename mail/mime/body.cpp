#include "mail/mime/body.h"

#include <cstdlib>

#include "mail/mime/bodypart.h"
#include "mail/mime/enums.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "mail/mime/multipartsplitter.h"
#include "mail/mime/treeassembly.h"

DwCreationHook<DwBody> DwBody::sNewBodyHook = nullptr;

DwBody::DwBody() : DwMessageComponent(kCidBody, "DwBody"), parts_(this) {}

DwBody::DwBody(const std::string& text, DwMessageComponent* parent)
    : DwMessageComponent(text, parent), parts_(this) {
    SetClass(kCidBody, "DwBody");
}

DwBody::DwBody(const DwBody& other) : DwMessageComponent(other), parts_(this) {
    SetClass(kCidBody, "DwBody");
    CopyFrom(other);
}

DwBody& DwBody::operator=(const DwBody& other) {
    if (this != &other) {
        parts_.DeleteAll();
        delete nestedMessage_;
        nestedMessage_ = nullptr;
        DwMessageComponent::operator=(other);
        CopyFrom(other);
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwBody::~DwBody() {
    delete nestedMessage_;
}

DwMessageComponent* DwBody::Clone() const {
    return new DwBody(*this);
}

DwBody* DwBody::NewBody(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewBodyHook, text, parent);
}

void DwBody::CopyFrom(const DwBody& other) {
    if (other.margins_) {
        MarginsToWrite() = *other.margins_;
    } else if (margins_) {
        margins_->preamble.clear();
        margins_->epilogue.clear();
    }
    nestingCut_ = other.nestingCut_;
    looseLines_ = other.looseLines_;
    parts_.AdoptClonesOf(other.parts_);
    if (other.nestedMessage_) {
        nestedMessage_ = static_cast<DwMessage*>(other.nestedMessage_->Clone());
        if (nestedMessage_) nestedMessage_->SetParent(this);
    }
}

namespace {
// What a body without margins reads as its preamble and epilogue.
const std::string& NoText() {
    static const std::string none;
    return none;
}
} // namespace

const std::string& DwBody::Preamble() const {
    return margins_ ? margins_->preamble : NoText();
}

const std::string& DwBody::Epilogue() const {
    return margins_ ? margins_->epilogue : NoText();
}

// Once made, the margins stay till the body goes, so that what Preamble and Epilogue returned
// stays valid as it always did.
DwBody::Margins& DwBody::MarginsToWrite() {
    if (!margins_) margins_ = std::make_unique<Margins>();
    return *margins_;
}

void DwBody::SetPreamble(const std::string& text) {
    if (margins_ || !text.empty()) MarginsToWrite().preamble = text;
    MarkModified();
}

void DwBody::SetEpilogue(const std::string& text) {
    if (margins_ || !text.empty()) MarginsToWrite().epilogue = text;
    MarkModified();
}

void DwBody::AppendPart(DwBodyPart* part) {
    InsertPartAt(PartCount(), part);
}

void DwBody::InsertPartAt(int index, DwBodyPart* part) {
    if (part) nestingCut_ = false;
    parts_.Insert(index, part);
}

DwBodyPart* DwBody::RemovePartAt(int index) {
    return parts_.Remove(index);
}

void DwBody::DeleteAllParts() {
    parts_.DeleteAllMarking();
}

void DwBody::SetNestedMessage(DwMessage* message) {
    if (message == nestedMessage_) return;
    delete nestedMessage_;
    nestedMessage_ = message;
    if (message) message->SetParent(this);
    nestingCut_ = false;
    MarkModified();
}

namespace {

// The media type code of the entity's Content-Type (kTypeNull without an entity or a Content-Type),
// and the boundary of a multipart; told whether a field body hook is set. With partsOnly, any code
// but multipart and message may come back as kTypeNull: all a parse asks is whether the body holds
// parts. Inline in the parse, which asks it for every part.
[[gnu::always_inline]] inline int TypeCodeOf(DwEntity* entity, std::string* boundary, bool fieldBodyHooks,
                                             bool partsOnly) {
    if (!entity) return kTypeNull;
    // A Content-Type nobody has read: its type alone says whether the body has parts.
    const DwField* field = entity->Headers().FindField("Content-Type");
    if (field && field->IsFieldBodyPending() && !fieldBodyHooks) {
        const std::string_view text = field->FieldBodyTextView();
        if (partsOnly && !DwMediaType::MayNamePartsType(text)) return kTypeNull;
        const int type = DwMediaType::TypeOf(text);
        if (type != kTypeMultipart) return type;
    }
    DwMediaType* mediaType = entity->Headers().FindContentType();
    if (!mediaType) return IsDigestPart(*entity) ? kTypeMessage : kTypeNull;
    const int type = mediaType->Type();
    if (boundary && type == kTypeMultipart) *boundary = mediaType->Boundary();
    return type;
}

} // namespace

int DwBody::ContentTypeCode(std::string* boundary) const {
    return TypeCodeOf(Parent() ? Parent()->AsEntity() : nullptr, boundary, DwField::FieldBodyHooksSet(),
                      false);
}

int DwBody::NestingLevel() const {
    int level = 0;
    for (const DwMessageComponent* node = Parent(); node && level < kDwMaxNesting; node = node->Parent()) {
        if (node->ClassId() == kCidBody) ++level;
    }
    return level;
}

void DwBody::Parse() {
    ParseWith(DwField::FieldBodyHooksSet(), Parent() ? Parent()->AsEntity() : nullptr);
}

void DwBody::ParseWith(bool fieldBodyHooks, DwEntity* owner) {
    SetModified(false);
    parts_.DeleteAll();
    delete nestedMessage_;
    nestedMessage_ = nullptr;
    nestingCut_ = false;
    looseLines_ = 0;
    if (margins_) {
        margins_->preamble.clear();
        margins_->epilogue.clear();
    }
    // A leaf's body (most of a message) is told apart without a boundary string; a multipart's
    // is read again for its boundary.
    const int type = TypeCodeOf(owner, nullptr, fieldBodyHooks, true);
    if (type != kTypeMultipart && type != kTypeMessage) return;
    std::string boundary;
    if (type == kTypeMultipart) TypeCodeOf(owner, &boundary, fieldBodyHooks, false);
    if (NestingLevel() >= kDwMaxNesting) {
        nestingCut_ = true;
        return;
    }
    const DwTextSpan text = ShareText();
    if (type == kTypeMultipart) {
        // A part of the library's own is told once for all whether a hook is set.
        const bool ownParts = !DwBodyPart::sNewBodyPartHook;
        // Without any hook that making or parsing a part may call, no application code runs below,
        // and none can set one: what fieldBodyHooks says holds for every part, and nobody sees in
        // which order the parts are made and parsed. They are all made first, so that the split has
        // gone before a part's own multipart body splits: one split is held at a time, however deep.
        const bool noHooks = ownParts && !fieldBodyHooks && !DwHeaders::sNewHeadersHook &&
                             !DwBody::sNewBodyHook && !DwField::sNewFieldHook && !DwMessage::sNewMessageHook;
        {
            const DwMultipartSplit split(text.View(), boundary, DwDelimiterMatch::kExact,
                                         {text.buffer->DashLines(), text.offset}, noHooks);
            if (margins_ || split.preamble.length > 0 || split.epilogue.length > 0) {
                Margins& margins = MarginsToWrite();
                margins.preamble.assign(text.View().substr(split.preamble.offset, split.preamble.length));
                margins.epilogue.assign(text.View().substr(split.epilogue.offset, split.epilogue.length));
            }
            looseLines_ = split.looseLines;
            parts_.ReserveFirst(static_cast<int>(split.parts.size()));
            for (const DwTextRange& range : split.parts) {
                DwBodyPart* part = ownParts
                                       ? new DwBodyPart(text.Sub(range.offset, range.length), this)
                                       : DwBodyPart::NewBodyPart(text.Sub(range.offset, range.length), this);
                if (!part || !parts_.Adopt(part)) break;
                if (!noHooks) part->Parse();
            }
        }
        if (noHooks) {
            for (int i = 0; i < parts_.Count(); ++i) parts_.At(i)->ParseWith(false);
        }
    } else {
        nestedMessage_ = DwMessage::NewMessage(text, this);
        if (nestedMessage_) nestedMessage_->Parse();
    }
}

void DwBody::Assemble() {
    DwTreeAssembly::Run(*this);
}

bool IsDigestPart(const DwEntity& entity) {
    auto* body = dynamic_cast<const DwBody*>(entity.Parent());
    const DwEntity* owner = body && body->Parent() ? body->Parent()->AsEntity() : nullptr;
    DwMediaType* type = owner ? owner->Headers().FindContentType() : nullptr;
    return type && type->Type() == kTypeMultipart && type->Subtype() == kSubtypeDigest;
}
