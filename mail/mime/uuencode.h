// Uuencoding: the "begin" line, 45-byte data lines, a backquote line and "end".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class DwUuencode {
public:
    DwUuencode();
    virtual ~DwUuencode();

    const char* TargetName() const { return targetName_; }
    // Keeps at most 255 bytes of the name.
    void SetTargetName(const char* name);
    uint16_t TargetMode() const { return targetMode_; }
    void SetTargetMode(uint16_t mode) { targetMode_ = mode; }
    const std::string& RawData() const { return rawData_; }
    void SetRawData(const std::string& data) { rawData_ = data; }
    const std::string& EncodedData() const { return encodedData_; }
    void SetEncodedData(const std::string& text) { encodedData_ = text; }

    // rawData into encodedData, with name and mode on the "begin" line.
    void Encode();
    // Appends the decoded bytes of encodedData to rawData and takes name and mode from the "begin"
    // line. 0 when the data ended with its end line and "end"; -1 otherwise, what was decoded kept.
    // With collapseCr a decoded CR that follows a CR is dropped.
    int Decode(bool collapseCr);

private:
    char targetName_[256];
    uint16_t targetMode_;
    std::string rawData_;
    std::string encodedData_;
};

// Decodes input through a fresh DwUuencode; returns its result.
int UuDecode(std::string_view input, std::string& output, bool collapseCr);
int UuDecode(const std::string& input, std::string& output, bool collapseCr);
// Encodes input under the file name; true when the output is not empty.
bool UuEncode(const std::string& input, std::string& output, const char* targetName);
