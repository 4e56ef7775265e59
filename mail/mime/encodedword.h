// One RFC 2047 encoded word (=?charset?encoding?encoded-text?=) of header text, or a run of plain
// text that is no such word.
#pragma once

#include <string>

#include "mail/mime/component.h"

class DwEncodedWord : public DwMessageComponent {
public:
    DwEncodedWord();
    DwEncodedWord(const std::string& text, DwMessageComponent* parent);
    // Copies carry the parsed pieces as well, so a copy assembles like its original.
    DwEncodedWord(const DwEncodedWord& other);
    DwEncodedWord& operator=(const DwEncodedWord& other);
    ~DwEncodedWord() override;

    // A text that is no well-formed word, or does not decode, stays plain text: charset
    // "US-ASCII", encoding 0, decoded text = the whole text.
    void Parse() override;
    // Encodes the decoded text again for Q and B words; plain text assembles to the decoded text.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    const std::string& Charset() const { return charset_; }
    // 'Q', 'q', 'B', 'b' as written, or 0 for plain text.
    char EncodingType() const { return encodingType_; }
    const std::string& EncodedText() const { return encodedText_; }
    const std::string& DecodedText() const { return decodedText_; }

    void SetCharset(const std::string& charset);
    void SetEncodingType(char type);
    void SetEncodedText(const std::string& text);
    void SetDecodedText(const std::string& text);

    static DwEncodedWord* NewEncodedWord(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwEncodedWord> sNewEncodedWordHook;

private:
    void CopyFields(const DwEncodedWord& other);

    std::string charset_;
    char encodingType_ = 0;
    std::string encodedText_;
    std::string decodedText_;
};
