// mail/mime: the MIME library. It parses a mail message into a tree of components, changes the
// tree and assembles the text again, with the header encodings and transfer codecs that needs.
// It uses only base/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mail/mime/textbuffer.h"

class DwEntity;

// Class ids of every component class. DwDispositionType and DwContentFileType share 5.
enum DwClassId : int {
    kCidAddress = 1,
    kCidAddressList = 2,
    kCidBody = 3,
    kCidBodyPart = 4,
    kCidDispositionType = 5,
    kCidContentFileType = 5,
    kCidMechanism = 6,
    kCidMediaType = 7,
    kCidParameter = 8,
    kCidDateTime = 9,
    kCidEntity = 10,
    kCidField = 11,
    kCidFieldBody = 12,
    kCidGroup = 13,
    kCidHeaders = 14,
    kCidMailbox = 15,
    kCidMailboxList = 16,
    kCidMessage = 17,
    kCidMessageComponent = 18,
    kCidMsgId = 19,
    kCidStamp = 20,
    kCidText = 21,
    kCidEncodedWord = 22,
};

// A node of the message tree. Each node keeps its own text: Parse breaks the text down into
// child nodes, Assemble rebuilds it from them, but only while the node is marked modified.
// Every change below a node marks the path up to the root, so that assembling the root
// rebuilds exactly the texts on the changed paths. A node owns its children; its parent
// pointer never owns. Nodes live on the heap.
//
// The text of an entity, a body, a header block or a field may be a piece of a text shared with the
// rest of its tree (textbuffer.h), so that a parsed message holds one copy of its text whatever its
// nesting, or none where the tree borrows it: Text() then makes the node a copy of its own,
// TextView() reads the piece where it lies.
class DwMessageComponent {
public:
    // The constructors and the destructor that every parsed node runs are inline: a message of many
    // small parts makes and releases several nodes a part.
    DwMessageComponent() = default;
    DwMessageComponent(const std::string& text, DwMessageComponent* parent);
    DwMessageComponent(std::string&& text, DwMessageComponent* parent);
    DwMessageComponent(const char* chars, size_t length, DwMessageComponent* parent);
    DwMessageComponent(DwTextSpan&& span, DwMessageComponent* parent)
        : span_(std::move(span)), parent_(parent) {}
    // Copies text and modified flag; the copy has no parent and the copying class's id.
    DwMessageComponent(const DwMessageComponent& other);
    // Copies text and modified flag only.
    DwMessageComponent& operator=(const DwMessageComponent& other);
    virtual ~DwMessageComponent() = default;

    // Clears the modified flag, discards the children and builds new ones from the text.
    virtual void Parse() = 0;
    // Only when modified: assembles the children, rebuilds the text, clears the flag.
    virtual void Assemble() = 0;
    // A new heap copy owned by the caller (null when out of memory).
    virtual DwMessageComponent* Clone() const = 0;
    virtual void SelfCheck() const {}
    virtual void DebugPrint() const {}

    const std::string& Text() const { return span_.buffer ? SpanText() : text_; }
    // The text without a copy, valid until the node or its tree changes.
    std::string_view TextView() const { return span_.buffer ? span_.View() : std::string_view(text_); }
    // Takes the text as the node's parsed state: clears the node's own flag and marks the parent.
    void SetText(const std::string& text);
    void SetText(std::string&& text);
    // Marks the parent but leaves the node's own flag as it was; null counts as empty.
    void SetText(const char* text);
    // The text as one shared buffer, for a Parse that gives its children pieces of it: an own text
    // becomes the buffer (moved, not copied). The node's span.
    const DwTextSpan& ShareText() { return span_.buffer ? span_ : ShareOwnText(); }
    // The text as a piece of a shared one: the node's own bytes where they now lie, or a text the
    // node is then parsed from. Nothing is marked.
    void SetTextSpan(DwTextSpan span) {
        // An own text's block goes; a node without one (most, when a tree is parsed) has nothing to
        // give back, and is not made to call the library for it.
        if (text_.capacity() > std::string().capacity()) {
            std::string().swap(text_);
        } else {
            text_.clear();
        }
        span_ = std::move(span);
    }
    // The piece of a shared text the node's text is, or null while the node has a text of its own.
    const DwTextSpan* TextSpan() const { return span_.buffer ? &span_ : nullptr; }

    // The node as an entity, or null: a body asks it of its parent for every part it parses.
    virtual DwEntity* AsEntity() { return nullptr; }
    virtual const DwEntity* AsEntity() const { return nullptr; }

    DwMessageComponent* Parent() const { return parent_; }
    void SetParent(DwMessageComponent* parent) { parent_ = parent; }

    bool IsModified() const { return modified_; }
    // Marks this node and every ancestor up to the root.
    void MarkModified();

    DwClassId ClassId() const { return classId_; }
    const char* ClassName() const { return className_; }
    uintptr_t ObjectKey() const { return reinterpret_cast<uintptr_t>(this); }

protected:
    // For the most-derived class's constructor, which sets its class once instead of each level
    // setting its own in turn.
    DwMessageComponent(DwClassId id, const char* name) : classId_(id), className_(name) {}
    DwMessageComponent(DwTextSpan&& span, DwMessageComponent* parent, DwClassId id, const char* name)
        : span_(std::move(span)), parent_(parent), classId_(id), className_(name) {}
    // For the most-derived constructor of every class.
    void SetClass(DwClassId id, const char* name) {
        classId_ = id;
        className_ = name;
    }
    void SetModified(bool modified) { modified_ = modified; }
    // Called by SetText before the text changes, for a node that still reads pieces of its old text.
    virtual void BeforeTextChange() {}

    // The node's own text; unused while the text is a span.
    mutable std::string text_;

private:
    const std::string& SpanText() const;
    const DwTextSpan& ShareOwnText();

    mutable DwTextSpan span_;
    bool modified_ = false;
    DwMessageComponent* parent_ = nullptr;
    DwClassId classId_ = kCidMessageComponent;
    const char* className_ = "DwMessageComponent";
};

// The type of a creation hook: a process-wide function pointer, null unless an application sets
// one before parsing. Every creation function of the library (NewHeaders, NewField,
// NewParameter ...) returns what its hook returns when the hook is set.
template <class Node> using DwCreationHook = Node* (*)(const std::string& text, DwMessageComponent* parent);

// The body of such a creation function: the hook's node, or a new unparsed Node built from
// (text, parent); null when out of memory.
template <class Node>
Node* DwCreateNode(DwCreationHook<Node> hook, const std::string& text, DwMessageComponent* parent) {
    if (hook) return hook(text, parent);
    return new Node(text, parent);
}
// The same, taking the text over when no hook is set.
template <class Node>
Node* DwCreateNode(DwCreationHook<Node> hook, std::string&& text, DwMessageComponent* parent) {
    if (hook) return hook(text, parent);
    return new Node(std::move(text), parent);
}
