// The field body of "Content-Disposition": a disposition word and parameters.
#pragma once

#include <string>

#include "mail/mime/parameterfieldbody.h"

enum DwDispositionCode : int {
    kDispTypeNull = 0,
    kDispTypeUnknown = 1,
    kDispTypeInline = 2,
    kDispTypeAttachment = 3,
};

class DwDispositionType : public DwParameterFieldBody {
public:
    DwDispositionType();
    DwDispositionType(const std::string& text, DwMessageComponent* parent);
    DwDispositionType(const DwDispositionType& other);
    DwDispositionType& operator=(const DwDispositionType& other);
    ~DwDispositionType() override;

    // The first word, then "; attribute=value" parameters.
    void Parse() override;
    // The word and the parameters. Parameters without a word are written after "attachment",
    // the disposition mail readers give a word they do not know; with neither, the text is kept.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    int DispositionType() const { return dispositionEnum_; }
    const std::string& TypeStr() const { return typeStr_; }
    void SetDispositionType(int type);
    void SetTypeStr(const std::string& type);

    // The value of the first "filename" or "name" parameter; without one, the last value set or
    // found.
    const std::string& Filename();
    // Sets the "filename" parameter, adding one called "Filename" when there is none.
    void SetFilename(const std::string& filename);

    virtual void EnumToStr();
    virtual void StrToEnum();

    static DwDispositionType* NewDispositionType(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwDispositionType> sNewDispositionTypeHook;

private:
    int dispositionEnum_ = kDispTypeNull;
    std::string typeStr_;
    std::string filenameStr_;
};
