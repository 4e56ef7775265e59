// The abstract base of every field body: the parsed form of a header field's body text.
#pragma once

#include <cstddef>
#include <string>

#include "mail/mime/component.h"

// Parse, Assemble and Clone are the derived classes' business. The structured field bodies fold
// their assembled text only while folding is on (the default).
class DwFieldBody : public DwMessageComponent {
public:
    DwFieldBody();
    DwFieldBody(const std::string& text, DwMessageComponent* parent);
    DwFieldBody(const char* chars, size_t length, DwMessageComponent* parent);
    DwFieldBody(DwTextSpan span, DwMessageComponent* parent);
    DwFieldBody(const DwFieldBody& other);
    // Copies the base and the line offset; folding keeps its value.
    DwFieldBody& operator=(const DwFieldBody& other);
    ~DwFieldBody() override;

    // Kept for applications; nothing in the library reads it.
    int LineOffset() const { return lineOffset_; }
    void SetLineOffset(int offset) { lineOffset_ = offset; }

    bool IsFolding() const { return folding_; }
    void SetFolding(bool folding) { folding_ = folding; }

private:
    int lineOffset_ = 0;
    bool folding_ = true;
};
