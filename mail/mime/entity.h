// An entity: a whole message or one part of a multipart body, made of a header block and a body.
#pragma once

#include <string>
#include <string_view>

#include "mail/mime/body.h"
#include "mail/mime/component.h"
#include "mail/mime/headers.h"

// Splits an entity's text into its header block (with the line end of its last line) and its
// body (after the one line end that separates them). The header block ends before the first
// line that is neither a field ("name:", the name printable without blanks and possibly empty,
// blanks allowed before the colon) nor a continuation (starting with a blank or TAB); a "From "
// line is the envelope line of a mailbox file, and so is a first line ">From ", and both count as
// fields. A UTF-8 byte-order mark before the first line is dropped. A text whose lines are all
// fields is all header block.
// Returns whether an empty line separated the two.
bool SplitHeadersAndBody(const std::string& text, std::string& headers, std::string& body);

// The same split as pieces of the text: the header block and the body.
struct DwEntitySplit {
    size_t headersStart = 0;
    size_t headersLength = 0;
    // How much of the header block StrictHeaderLength takes.
    size_t strictHeadersLength = 0;
    // Where the header block's first field (its first line and the continuations after it) ends.
    size_t firstFieldLength = 0;
    // Where the first field's colon lies when the name before it has no blanks, else npos.
    size_t firstColon = std::string_view::npos;
    size_t bodyStart = 0;
    bool emptyLine = false;
};
DwEntitySplit SplitEntityText(std::string_view text);

// How much of a header block a strict reader takes as fields: the lines up to the first one with
// a blank before its colon or a ">From " line. Mail readers that stop there read the rest as body.
size_t StrictHeaderLength(std::string_view headerBlock);

// The entity's text as readers that take every line up to the first empty one as its header block
// read it, passing over the lines among them that are no fields: true and the text in out when that
// reading finds more fields than the header block holds (which then ended at a line that was neither
// a field nor empty), else false.
bool FieldsUpToEmptyLine(std::string_view headerBlock, std::string_view body, std::string& out);

class DwEntity : public DwMessageComponent {
public:
    DwHeaders& Headers() const { return *headers_; }
    DwBody& Body() const { return *body_; }
    // Whether the last Parse found an empty line between the header block and the body.
    bool HasEmptyLineAfterHeaders() const { return emptyLine_; }
    // StrictHeaderLength of the header block's text: noted by Parse while the block is still the
    // piece of the entity's text it cut, read again otherwise. Inline: the walk asks it of every part.
    size_t StrictHeaderLength() const {
        return IsStrictLengthNoted() ? strictHeadersLength_ : ::StrictHeaderLength(headers_->TextView());
    }

    // Splits the text into the header block and the body and parses both. The body is a piece of
    // the entity's text, which the tree shares from then on.
    void Parse() override;
    // The headers' text, CR LF and the body's text. The texts of the entities and bodies below are
    // written once, into one new text that they then share.
    void Assemble() override;

    DwEntity* AsEntity() override { return this; }
    const DwEntity* AsEntity() const override { return this; }

protected:
    DwEntity();
    DwEntity(const std::string& text, DwMessageComponent* parent);
    DwEntity(std::string&& text, DwMessageComponent* parent);
    DwEntity(DwTextSpan&& span, DwMessageComponent* parent);
    // The same for a derived class, which is set as the entity's class at once.
    DwEntity(DwTextSpan&& span, DwMessageComponent* parent, DwClassId id, const char* name);
    DwEntity(const DwEntity& other);
    DwEntity& operator=(const DwEntity& other);
    ~DwEntity() override;

private:
    friend class DwTreeAssembly;
    friend class DwBody;

    // Parse, told whether a field body hook is set: a body that knows no creation hook can run below
    // it tells each part it makes, which then does not ask again.
    void ParseWith(bool fieldBodyHooks);
    void MakeChildren();
    void DeleteChildren();
    void CloneChildren(const DwEntity& other);
    void BeforeTextChange() override { strictNoted_ = false; }
    // Whether strictHeadersLength_ is that of the header block: the block and the entity are still
    // pieces of the text Parse read. The entity's span keeps that text alive, so a buffer at the same
    // address is the same text.
    bool IsStrictLengthNoted() const {
        const DwTextSpan* own = TextSpan();
        const DwTextSpan* block = headers_->TextSpan();
        return strictNoted_ && own && block && own->buffer.get() == parsedBuffer_ &&
               block->buffer.get() == parsedBuffer_ && block->offset == parsedHeadersOffset_ &&
               block->length == parsedHeadersLength_;
    }

    // The children are these two of the entity's own unless a creation hook made them or they were
    // cloned: a message of many small parts takes a third of the blocks it did.
    DwBody ownBody_;
    DwHeaders ownHeaders_;
    DwHeaders* headers_ = nullptr;
    DwBody* body_ = nullptr;
    bool emptyLine_ = false;
    // What the last Parse noted of the header block it cut from the text in parsedBuffer_.
    bool strictNoted_ = false;
    const DwTextBuffer* parsedBuffer_ = nullptr;
    size_t parsedHeadersOffset_ = 0;
    size_t parsedHeadersLength_ = 0;
    size_t strictHeadersLength_ = 0;
};
