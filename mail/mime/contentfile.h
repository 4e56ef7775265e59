// The field body of "X-Content-File": a file name.
#pragma once

#include <string>

#include "mail/mime/parameterfieldbody.h"

// The whole text is the file name. Parsing also keeps it as one parameter "xfilename".
class DwContentFileType : public DwParameterFieldBody {
public:
    DwContentFileType();
    DwContentFileType(const std::string& text, DwMessageComponent* parent);
    DwContentFileType(const DwContentFileType& other);
    DwContentFileType& operator=(const DwContentFileType& other);
    ~DwContentFileType() override;

    void Parse() override;
    // The file name, without CR and LF, once it was set.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    const std::string& Filename();
    void SetFilename(const std::string& filename);

    static DwContentFileType* NewContentFileType(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwContentFileType> sNewContentFileTypeHook;

private:
    std::string filenameStr_;
};
