// One header field: its name, its body text and the parsed field body chosen by the name.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "mail/mime/charclass.h"
#include "mail/mime/component.h"

class DwFieldBody;

// The hook of MakeFieldBody: (field name, body text, parent).
using DwFieldBodyHook = DwFieldBody* (*)(const std::string& name, const std::string& text,
                                         DwMessageComponent* parent);

class DwField : public DwMessageComponent {
public:
    DwField();
    DwField(const std::string& text, DwMessageComponent* parent);
    DwField(std::string&& text, DwMessageComponent* parent);
    // Inline: a header block makes one for every field it parses.
    DwField(DwTextSpan&& span, DwMessageComponent* parent)
        : DwMessageComponent(std::move(span), parent, kCidField, "DwField") {}
    DwField(const DwField& other);
    // The field body is replaced by a clone of the other's only when the other has one.
    DwField& operator=(const DwField& other);
    ~DwField() override;

    // Splits the text into name and body text and parses a new field body from the body text.
    void Parse() override;
    // Name, ": ", body text (the field body's text when there is one) and CR LF.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    const std::string& FieldName() const {
        if (name_.pending) CopyPiece(name_, fieldName_);
        return fieldName_;
    }
    const std::string& FieldBodyText() const {
        if (bodyText_.pending) CopyPiece(bodyText_, fieldBodyText_);
        return fieldBodyText_;
    }
    // The same without a copy, valid until the field changes.
    std::string_view FieldNameView() const { return name_.pending ? PieceView(name_) : fieldName_; }
    std::string_view FieldBodyTextView() const {
        return bodyText_.pending ? PieceView(bodyText_) : fieldBodyText_;
    }
    // A field parsed while no creation hook was set makes its field body when it is first asked for:
    // most field bodies of a message are never read.
    DwFieldBody* FieldBody() const {
        if (bodyPending_) MakePendingBody();
        return fieldBody_;
    }
    // Whether the field body is still to be made from the body text (FieldBody() makes it).
    bool IsFieldBodyPending() const { return bodyPending_; }
    // The body text, when the field body is still to be made from it as the library's own class (no
    // hook set): a reader may then answer from the text what that body would. False otherwise.
    bool PendingOwnBodyText(std::string_view& text) const {
        if (!bodyPending_ || FieldBodyHooksSet()) return false;
        text = FieldBodyTextView();
        return true;
    }

    void SetFieldName(const std::string& name);
    // Drops the field body: the field assembles from the text until a body is made again.
    void SetFieldBodyText(const std::string& text);
    // Takes ownership; null removes the field body.
    void SetFieldBody(DwFieldBody* body);
    // The field body; a field without one (its body was replaced by text) first gets one parsed
    // from its body text. Marks nothing: the field assembles to the same text. Null only when a
    // creation hook yields null.
    DwFieldBody* ParsedFieldBody();

    static DwField* NewField(const std::string& text, DwMessageComponent* parent);
    // The same, taking the text over when no hook is set.
    static DwField* NewField(std::string&& text, DwMessageComponent* parent);
    // The same for a piece of a shared text (a hook gets a copy).
    static DwField* NewField(DwTextSpan span, DwMessageComponent* parent);
    static DwCreationHook<DwField> sNewFieldHook;

    // A new unparsed field body of the class the field name asks for (unstructured text for any
    // name the library does not know).
    static DwFieldBody* MakeFieldBody(const std::string& name, const std::string& text,
                                      DwMessageComponent* parent);
    static DwFieldBodyHook sMakeFieldBodyHook;
    // Whether a hook that making a field body may call is set: Parse then makes the body at once,
    // while the hook is there.
    static bool FieldBodyHooksSet();

    // The text as a piece of another shared text holding the same bytes: a field body that is a piece
    // of the old text moves with it, so that nothing keeps the old text.
    void MoveTextSpan(DwTextSpan span);

protected:
    void BeforeTextChange() override;

private:
    friend class DwHeaders;

    // Parse, told whether a field body hook is set and where the text's first colon lies when the
    // name before it has no blanks (npos: not known).
    void ParseWith(bool hooks, size_t colon);

    // The name or the body text of a parsed field, read out of its text only when asked for as a
    // string: where it lies in the text.
    struct Piece {
        uint32_t start = 0;
        uint32_t length = 0;
        bool pending = false;
    };
    // A pending piece lies inside the text: the old text's pieces are copied out before it changes.
    std::string_view PieceView(const Piece& piece) const {
        return std::string_view(TextView().data() + piece.start, piece.length);
    }
    // Whether the field is called name (without case), for FindField. Inline, for the name is mostly a
    // literal: its length is then known, a field of another length is passed over at once, and the byte
    // compare that settles a name written as the library spells it is unrolled.
    [[gnu::always_inline]] bool IsNamed(const char* name, size_t length) const {
        if ((name_.pending ? name_.length : fieldName_.size()) != length) return false;
        const char* own = name_.pending ? TextView().data() + name_.start : fieldName_.data();
        return memcmp(own, name, length) == 0 || EqualNoCaseC(own, length, name, length);
    }
    void CopyPiece(Piece& piece, std::string& out) const;
    void MakePendingBody() const;
    // MakeFieldBody while no hook is set, from the name and body text where they lie; shared is the
    // body text as a piece of a shared text, or has no buffer.
    static DwFieldBody* MakeOwnFieldBody(std::string_view name, std::string_view text, DwTextSpan&& shared,
                                         DwMessageComponent* parent);

    mutable std::string fieldName_;
    mutable std::string fieldBodyText_;
    mutable Piece name_;
    mutable Piece bodyText_;
    mutable DwFieldBody* fieldBody_ = nullptr;
    mutable bool bodyPending_ = false;
};

// Splits a field text at its first ':' into the name (trailing white space removed) and the body
// (from the first non-blank after the colon, trailing white space removed). Without a colon the
// whole trimmed text is the name.
void SplitField(std::string_view text, std::string& name, std::string& body);
// The same as positions: the name is the first nameLength bytes of the text.
struct DwFieldSplit {
    size_t nameLength = 0;
    size_t bodyStart = 0;
    size_t bodyLength = 0;
};
DwFieldSplit SplitFieldText(std::string_view text);
