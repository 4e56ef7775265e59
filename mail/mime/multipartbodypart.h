// One part of a multipart message as a plain record, for MultipartMessage.
#pragma once

#include <string>

class MultipartBodyPart {
public:
    MultipartBodyPart() = default;
    MultipartBodyPart(const MultipartBodyPart&) = default;
    MultipartBodyPart& operator=(const MultipartBodyPart&) = default;
    virtual ~MultipartBodyPart() = default;

    const std::string& TypeStr() const { return type_; }
    void SetTypeStr(const std::string& type) { type_ = type; }
    int Type() const;
    void SetType(int type);
    const std::string& SubtypeStr() const { return subtype_; }
    void SetSubtypeStr(const std::string& subtype) { subtype_ = subtype; }
    int Subtype() const;
    void SetSubtype(int subtype);
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& name) { fileName_ = name; }
    const std::string& XContentFileName() const { return xContentFileName_; }
    void SetXContentFileName(const std::string& name) { xContentFileName_ = name; }
    const std::string& CteStr() const { return cte_; }
    void SetCteStr(const std::string& cte) { cte_ = cte; }
    int Cte() const;
    // A code without a name leaves the text as it is.
    void SetCte(int cte);
    const std::string& ContentDescription() const { return description_; }
    void SetContentDescription(const std::string& description) { description_ = description; }
    const std::string& ContentDisposition() const { return disposition_; }
    void SetContentDisposition(const std::string& disposition) { disposition_ = disposition; }
    const std::string& Body() const { return body_; }
    void SetBody(const std::string& body) { body_ = body; }
    const std::string& Charset() const { return charset_; }
    void SetCharset(const std::string& charset); // stored lower case

    // Every field empty, the defaults too.
    void Clear();

private:
    std::string type_ = "Text";
    std::string subtype_ = "Plain";
    std::string fileName_;
    std::string xContentFileName_;
    std::string cte_ = "7bit";
    std::string description_;
    std::string disposition_;
    std::string body_;
    std::string charset_;
};

// Lower-cases A-Z.
std::string DwLowerCase(const std::string& text);
