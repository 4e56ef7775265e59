// One attribute=value parameter of a media type or a disposition.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mail/mime/component.h"

class DwParameter : public DwMessageComponent {
public:
    DwParameter();
    DwParameter(const std::string& text, DwMessageComponent* parent);
    DwParameter(const char* chars, size_t length, DwMessageComponent* parent);
    DwParameter(const DwParameter& other);
    DwParameter& operator=(const DwParameter& other);
    ~DwParameter() override;

    // The first token is the attribute, the token or quoted string after the '=' the value
    // (quotes and backslash escapes removed). A boundary written in single quotes loses them.
    void Parse() override;
    // What Parse makes of the attribute token and the value token (a quoted string with its
    // quotes when quoted, else a token; empty for none), for a parser that found them already.
    void ParseTokens(std::string_view attribute, std::string_view value, bool quoted);
    // The value ParseTokens keeps, into out.
    static void ParseValue(std::string& out, std::string_view attribute, std::string_view value, bool quoted);
    // attribute="value", with '"' and '\' escaped and CR and LF left out, so that no value can
    // end the header line.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    const std::string& Attribute() const { return attribute_; }
    const std::string& Value() const { return value_; }
    // These drop trailing CR and LF.
    void SetAttribute(const std::string& attribute);
    void SetValue(const std::string& value);

    static DwParameter* NewParameter(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwParameter> sNewParameterHook;

private:
    std::string attribute_;
    std::string value_;
};
