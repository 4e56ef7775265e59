// The body of an entity: parts of a multipart, a nested message, or only text.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>

#include "mail/mime/component.h"
#include "mail/mime/childlist.h"

class DwBodyPart;
class DwEntity;
class DwMessage;

// Multiparts inside multiparts and messages inside messages are parsed this many levels deep;
// a body below that stays one leaf of text, so that a crafted mail cannot make parsing recurse
// without end.
constexpr int kDwMaxNesting = 64;

class DwBody : public DwMessageComponent {
public:
    DwBody();
    DwBody(const std::string& text, DwMessageComponent* parent);
    DwBody(const DwBody& other);
    DwBody& operator=(const DwBody& other);
    ~DwBody() override;

    // By the owning entity's Content-Type: a multipart body is split into parts, a message body
    // holds one nested message, any other body is only text. Parts and nested messages are pieces
    // of the body's text, which the tree shares from then on.
    void Parse() override;
    // Multipart: the preamble, each part after "\r\n--boundary\r\n", "\r\n--boundary--\r\n" and
    // the epilogue. Message: the nested message's text. Otherwise the text stays. As for an
    // entity, everything below is written once into one new shared text.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    const std::string& Preamble() const;
    const std::string& Epilogue() const;
    void SetPreamble(const std::string& text);
    void SetEpilogue(const std::string& text);

    int PartCount() const { return parts_.Count(); }
    // An index outside 0 to PartCount() - 1 ends the process.
    DwBodyPart& PartAt(int index) const {
        if (!parts_.IsIndex(index)) abort();
        return *parts_.At(index);
    }
    // Null is ignored. These mark the body modified.
    void AppendPart(DwBodyPart* part);
    // index clamped to 0..PartCount().
    void InsertPartAt(int index, DwBodyPart* part);
    // The part handed to the caller (parent cleared), or null for an index outside the array.
    DwBodyPart* RemovePartAt(int index);
    void DeleteAllParts();

    DwMessage* NestedMessage() const { return nestedMessage_; }
    // Takes ownership; null removes the nested message.
    void SetNestedMessage(DwMessage* message);

    // Whether the last Parse left a multipart or message body whole because it lies deeper than
    // kDwMaxNesting; such a body assembles to its text.
    bool IsNestingCut() const { return nestingCut_; }
    // Lines of the last Parse's multipart body that began with the delimiter but went on with more
    // than a delimiter line may hold; a reader that ignores the rest of the line splits there too.
    size_t LooseDelimiterLines() const { return looseLines_; }

    static DwBody* NewBody(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwBody> sNewBodyHook;

private:
    friend class DwTreeAssembly;
    friend class DwEntity;

    void CopyFrom(const DwBody& other);
    // The media type code of the owning entity's Content-Type (kTypeNull without one), and the
    // boundary of a multipart.
    int ContentTypeCode(std::string* boundary) const;
    // Parse, told whether a field body hook is set and the body's parent as an entity (null when it
    // is none).
    void ParseWith(bool fieldBodyHooks, DwEntity* owner);
    int NestingLevel() const;

    // The texts before the first part and after the last one of a multipart body, made for a body
    // that has either: a leaf body (most of a parsed message) carries no strings for them.
    struct Margins {
        std::string preamble;
        std::string epilogue;
    };
    Margins& MarginsToWrite();

    std::unique_ptr<Margins> margins_;
    DwChildList<DwBodyPart> parts_;
    DwMessage* nestedMessage_ = nullptr;
    bool nestingCut_ = false;
    size_t looseLines_ = 0;
};

// Whether the entity is a part of a multipart/digest body: without a Content-Type of its own such a
// part is a message (message/rfc822), not text.
bool IsDigestPart(const DwEntity& entity);
