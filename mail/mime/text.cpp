#include "mail/mime/text.h"

#include <cstdlib>

#include "mail/mime/charclass.h"
#include "mail/mime/encodedword.h"
#include "mail/mime/lines.h"

DwCreationHook<DwText> DwText::sNewTextHook = nullptr;

DwText::DwText() : words_(this) {
    SetClass(kCidText, "DwText");
}

DwText::DwText(const std::string& text, DwMessageComponent* parent)
    : DwFieldBody(text, parent), words_(this) {
    SetClass(kCidText, "DwText");
}

DwText::DwText(const DwText& other) : DwFieldBody(other), words_(this) {
    SetClass(kCidText, "DwText");
    words_.AdoptClonesOf(other.words_);
}

DwText& DwText::operator=(const DwText& other) {
    if (this != &other) {
        words_.DeleteAll();
        DwFieldBody::operator=(other);
        words_.AdoptClonesOf(other.words_);
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwText::~DwText() = default;

DwMessageComponent* DwText::Clone() const {
    return new DwText(*this);
}

DwText* DwText::NewText(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewTextHook, text, parent);
}

DwEncodedWord& DwText::WordAt(int index) const {
    if (!words_.IsIndex(index)) exit(-1);
    return *words_.At(index);
}

void DwText::AppendWord(DwEncodedWord* word) {
    InsertWordAt(WordCount(), word);
}

void DwText::InsertWordAt(int index, DwEncodedWord* word) {
    words_.Insert(index, word);
}

DwEncodedWord* DwText::RemoveWordAt(int index) {
    return words_.Remove(index);
}

void DwText::DeleteAllWords() {
    words_.DeleteAllMarking();
}

namespace {

bool IsBlank(char c) {
    return HasCharClass(static_cast<unsigned char>(c), kCharSpace);
}

bool IsEncodedWordForm(const std::string& text, size_t start, size_t length) {
    return length >= 8 && text.compare(start, 2, "=?") == 0 && text.compare(start + length - 2, 2, "?=") == 0;
}

} // namespace

void DwText::Parse() {
    SetModified(false);
    words_.DeleteAll();
    std::string pending;
    auto flush = [this](const std::string& text) {
        DwEncodedWord* word = DwEncodedWord::NewEncodedWord(text, nullptr);
        if (word && words_.Adopt(word)) word->Parse();
    };
    const size_t n = text_.size();
    size_t pos = 0;
    for (;;) {
        while (pos < n && IsBlank(text_[pos])) ++pos;
        if (pos == n) break;
        const size_t start = pos;
        while (pos < n && !IsBlank(text_[pos])) ++pos;
        if (IsEncodedWordForm(text_, start, pos - start)) {
            if (!pending.empty()) flush(pending);
            pending.clear();
            flush(text_.substr(start, pos - start));
        } else {
            if (!pending.empty()) pending += ' ';
            pending.append(text_, start, pos - start);
        }
    }
    if (!pending.empty()) flush(pending);
}

void DwText::Assemble() {
    if (!IsModified()) return;
    std::string text;
    for (int i = 0; i < words_.Count(); ++i) {
        DwEncodedWord* word = words_.At(i);
        word->Assemble();
        if (i > 0) text += ' ';
        text += word->Text();
    }
    FoldText(text, 15);
    text_ = std::move(text);
    SetModified(false);
}
