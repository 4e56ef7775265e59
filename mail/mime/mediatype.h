// The field body of "Content-Type": type, subtype and parameters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mail/mime/enums.h"
#include "mail/mime/parameterfieldbody.h"

class DwMediaType : public DwParameterFieldBody {
public:
    DwMediaType();
    DwMediaType(const std::string& text, DwMessageComponent* parent);
    DwMediaType(const char* chars, size_t length, DwMessageComponent* parent);
    // A piece of a shared text, read where it lies.
    DwMediaType(DwTextSpan span, DwMessageComponent* parent);
    // Copies the type, the subtype and the boundary cache; the other caches start empty.
    DwMediaType(const DwMediaType& other);
    DwMediaType& operator=(const DwMediaType& other);
    ~DwMediaType() override;

    // type "/" subtype, then "; attribute=value" parameters. A type without '/' has no subtype.
    void Parse() override;
    // type/subtype and the parameters. Without a type or a subtype the text is kept as it was.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    int Type() const { return typeEnum_; }
    int Subtype() const { return subtypeEnum_; }
    const std::string& TypeStr() const { return typeStr_; }
    const std::string& SubtypeStr() const { return subtypeStr_; }
    void SetType(int type);
    void SetSubtype(int subtype);
    void SetTypeStr(const std::string& type);
    void SetSubtypeStr(const std::string& subtype);

    // The value of the first parameter of that name, or empty; Filename takes "filename" or "name".
    const std::string& Boundary();
    const std::string& Name();
    const std::string& Charset();
    const std::string& Filename();
    void SetBoundary(const std::string& boundary);
    void SetName(const std::string& name);

    // A new boundary of 45 characters from the level's last two digits, the time and a serial
    // counter, set as the boundary parameter.
    virtual void CreateBoundary(unsigned level);
    virtual void SyncTypeStr();
    virtual void SyncTypeEnum();
    virtual void SyncSubtypeStr();
    virtual void SyncSubtypeEnum();

    // Type() of a media type parsed from text, without making one.
    static int TypeOf(std::string_view text);
    // Whether TypeOf(text) may be multipart or message, the types whose bodies hold parts: false
    // where the text starts with a token that does not start with an 'm'.
    static bool MayNamePartsType(std::string_view text);
    // What a media type parsed from text would hold, without making one: the type and subtype as
    // written (TypeStr, SubtypeStr) and where its parameters start.
    struct Names {
        std::string_view type;
        std::string_view subtype;
        size_t parametersFrom = 0;
    };
    static Names NamesOf(std::string_view text);
    // Filename() of a media type parsed from text with those names, when the text alone tells it;
    // false (value empty) when only the made parameters can: joined RFC 2231 pieces.
    static bool FilenameOf(std::string_view text, const Names& names, std::string& value);

    static DwMediaType* NewMediaType(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwMediaType> sNewMediaTypeHook;

private:
    const std::string& CacheParameter(std::string& cache, const char* name, const char* otherName = nullptr);

    int typeEnum_ = kTypeNull;
    int subtypeEnum_ = kSubtypeNull;
    std::string typeStr_;
    std::string subtypeStr_;
    std::string boundaryStr_;
    std::string nameStr_;
    std::string charsetStr_;
    std::string filenameStr_;
};
