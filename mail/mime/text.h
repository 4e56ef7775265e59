// The field body of unstructured header text: a sequence of encoded words and runs of plain words.
#pragma once

#include <string>

#include "mail/mime/fieldbody.h"
#include "mail/mime/ownedarray.h"

class DwEncodedWord;

class DwText : public DwFieldBody {
public:
    DwText();
    DwText(const std::string& text, DwMessageComponent* parent);
    DwText(const DwText& other);
    DwText& operator=(const DwText& other);
    ~DwText() override;

    // Each encoded word of at least 8 characters becomes one word object, each run of plain words
    // between them one more, its words joined by single blanks.
    void Parse() override;
    // The words' texts joined by blanks, folded into lines.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    int WordCount() const { return words_.Count(); }
    // An index outside 0 to WordCount() - 1 ends the process (exit status -1).
    DwEncodedWord& WordAt(int index) const;
    // Null is ignored; these mark the text modified.
    void AppendWord(DwEncodedWord* word);
    // index clamped to 0..WordCount().
    void InsertWordAt(int index, DwEncodedWord* word);
    // The word handed to the caller (parent cleared), or null for an index outside the array.
    DwEncodedWord* RemoveWordAt(int index);
    void DeleteAllWords();

    static DwText* NewText(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwText> sNewTextHook;

private:
    void AdoptWord(DwEncodedWord* word);
    void CopyWordsFrom(const DwText& other);

    DwOwnedArray<DwEncodedWord> words_;
};
