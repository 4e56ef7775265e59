// Splitters that cut the text of an address list or mailbox list into the texts of its members.
#pragma once

#include <string>

#include "mail/mime/tokenizer.h"
#include "mail/mime/tokenstring.h"

enum DwAddressKind : int {
    kAddrNone = 0,
    kAddrGroup = 1,
    kAddrMailbox = 2,
    kAddrNull = 3, // an empty member between commas
    kAddrEnd = 4,  // no more members
};

// Members end at a comma outside angle brackets and, when groups are read, outside a group's
// ':' ... ';'. A new splitter stands on the first member.
class DwListSplitter {
public:
    DwListSplitter(const DwListSplitter&) = delete;
    DwListSplitter& operator=(const DwListSplitter&) = delete;
    virtual ~DwListSplitter() = default;

    int Kind() const { return kind_; }
    bool IsNull() const { return kind_ == kAddrNull; }
    bool IsEnd() const { return kind_ == kAddrEnd; }
    // The member's text, with the blanks and comments inside it.
    const std::string& CurrentText() const { return window_.Tokens(); }
    int Advance();
    int Rewind();

protected:
    DwListSplitter(const std::string& text, bool groups);

private:
    void Split();

    DwRfc822Tokenizer tokenizer_;
    DwTokenString window_;
    int kind_ = kAddrNone;
    bool groups_;
};

class DwAddressListParser : public DwListSplitter {
public:
    explicit DwAddressListParser(const std::string& text) : DwListSplitter(text, true) {}
    bool IsGroup() const { return Kind() == kAddrGroup; }
    bool IsMailbox() const { return Kind() == kAddrMailbox; }
};

// A ':' or ';' means nothing here.
class DwMailboxListParser : public DwListSplitter {
public:
    explicit DwMailboxListParser(const std::string& text) : DwListSplitter(text, false) {}
};
