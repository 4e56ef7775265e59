// The parameter list shared by the media type and the disposition field bodies.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mime/charclass.h"
#include "mail/mime/fieldbody.h"
#include "mail/mime/childlist.h"

class DwMimeTokenCursor;
class DwParameter;

// A field body with an ordered list of owned parameters.
class DwParameterFieldBody : public DwFieldBody {
public:
    int NumParameters() const {
        if (pending_) MakePendingParameters();
        return params_.Count();
    }
    // An index outside 0 to NumParameters() - 1 ends the process.
    DwParameter& ParameterAt(int index) const;
    // Null is ignored. These mark the field body modified.
    void AddParameter(DwParameter* parameter);
    // index clamped to 0..NumParameters().
    void InsertParameterAt(int index, DwParameter* parameter);
    // The parameter handed to the caller (parent cleared), or null for an index outside the list.
    DwParameter* RemoveParameterAt(int index);
    void DeleteAllParameters();

    // Every value of the parameter called name (without case), in the order mail readers prefer
    // them: each plain "name=value" as written, then the RFC 2231 form ("name*=charset'lang'value"
    // or the numbered pieces "name*0", "name*1*", ... joined in order), its percent escapes decoded
    // and its charset and language dropped. Empty when there is none.
    std::vector<std::string> ParameterValues(const char* name) const;
    // The first of ParameterValues (name), else the first of ParameterValues (otherName), else empty.
    std::string ParameterValue(const char* name, const char* otherName = nullptr) const;

protected:
    DwParameterFieldBody();
    DwParameterFieldBody(const std::string& text, DwMessageComponent* parent);
    DwParameterFieldBody(const char* chars, size_t length, DwMessageComponent* parent);
    DwParameterFieldBody(DwTextSpan span, DwMessageComponent* parent);
    // Copies the field body base and clones the parameters.
    DwParameterFieldBody(const DwParameterFieldBody& other);
    // Replaces the parameters by clones of the other's; marks nothing.
    DwParameterFieldBody& operator=(const DwParameterFieldBody& other);
    ~DwParameterFieldBody() override;

    // Appends without marking.
    void AdoptParameter(DwParameter* parameter);
    void DropParameters();
    // The first parameter whose attribute is one of the names (without case), or null.
    DwParameter* FindParameter(const char* name, const char* otherName = nullptr) const;
    // Sets the value of the first parameter called name, or appends a new one with the attribute
    // written as given.
    void SetParameterValue(const char* name, const std::string& value);

    // Reads "; attribute=value" parameters of the text from the cursor's current token on. A ';'
    // always ends a parameter: one without '=' or without a value is dropped, and the next starts
    // there. A parameter's text runs from its attribute up to the token after its value. While no
    // parameter hook is set the parameters are made when first asked for, from the same text.
    void ParseParameters(const DwMimeTokenCursor& tokens);
    // Assembles each parameter and appends it to text after ";\r\n  " (folding) or "; ".
    void AppendParameters(std::string& text);

    // The parameters still to be made are made from the text before it changes.
    void BeforeTextChange() override;

    enum class PendingAnswer { kValue, kNone, kUnsure };
    // ParameterValue from a text whose parameters start at from, without making them: kUnsure when
    // only a joined RFC 2231 value could answer.
    static PendingAnswer TextValue(std::string_view text, size_t from, const char* name,
                                   const char* otherName, std::string& value) {
        // Inline: for literal names, their lengths and which is looked for in the text are known
        // where it is called.
        const size_t nameLength = name ? strlen(name) : 0;
        const size_t otherLength = otherName ? strlen(otherName) : 0;
        return TextValue(text, from, name, nameLength, otherName, otherLength,
                         SoughtName(name, nameLength, otherName, otherLength), value);
    }
    // Which of two names (null for none) the text must hold for a parameter to be called by either:
    // 0 or 1, the one given or the one that ends the other ("name" of "filename"), written wherever
    // the other is; 2 for both; -1 for none.
    static constexpr int SoughtName(const char* name, size_t nameLength, const char* otherName,
                                    size_t otherLength) {
        if (!name || (otherName && EndsWithNoCase(name, nameLength, otherName, otherLength)))
            return otherName ? 1 : -1;
        if (!otherName || EndsWithNoCase(otherName, otherLength, name, nameLength)) return 0;
        return 2;
    }
    static constexpr bool EndsWithNoCase(const char* text, size_t length, const char* end, size_t endLength) {
        if (endLength > length) return false;
        for (size_t i = 0; i < endLength; ++i)
            if (CToLower(static_cast<unsigned char>(text[length - endLength + i])) !=
                CToLower(static_cast<unsigned char>(end[i])))
                return false;
        return true;
    }
    static PendingAnswer TextValue(std::string_view text, size_t from, const char* name, size_t nameLength,
                                   const char* otherName, size_t otherLength, int sought,
                                   std::string& value) {
        // Inline: most texts hold neither name, which the search for the one sought tells at once.
        return MentionsSought(text.substr(from), name, nameLength, otherName, otherLength, sought)
                   ? MentionedTextValue(text, from, name, nameLength, otherName, otherLength, value)
                   : PendingAnswer::kNone;
    }
    // Whether the text holds the name sought (SoughtName): an attribute is a piece of the text, so
    // where it does not, no parameter is called by either name or by its RFC 2231 forms.
    static bool MentionsSought(std::string_view text, const char* name, size_t nameLength,
                               const char* otherName, size_t otherLength, int sought) {
        switch (sought) {
        case 0:
            return MentionsNoCase(text, name, nameLength);
        case 1:
            return MentionsNoCase(text, otherName, otherLength);
        case 2:
            return MentionsNoCase(text, name, nameLength) || MentionsNoCase(text, otherName, otherLength);
        default:
            return false;
        }
    }
    // Whether name (without case) is written in text. The quick search knows letters only: a name
    // that starts otherwise counts as written.
    static bool MentionsNoCase(std::string_view text, const char* name, size_t length);
    // TextValue of a text that holds the name sought.
    static PendingAnswer MentionedTextValue(std::string_view text, size_t from, const char* name,
                                            size_t nameLength, const char* otherName, size_t otherLength,
                                            std::string& value);

private:
    void MakePendingParameters() const;
    // ParameterValue from the text of pending parameters: kUnsure when only a joined RFC 2231 value
    // could answer.
    PendingAnswer PendingValue(const char* name, const char* otherName, std::string& value) const;

    // Made from the text when first asked for: most media types are asked for a value or two, if
    // anything, and the text answers those without a parameter made.
    mutable DwChildList<DwParameter> params_;
    mutable bool pending_ = false;
    // Where the parameters start in the text while they are pending.
    mutable size_t pendingFrom_ = 0;
};
