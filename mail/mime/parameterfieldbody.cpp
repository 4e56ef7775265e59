#include "mail/mime/parameterfieldbody.h"

#include <cstdlib>

#include "mail/mime/charclass.h"
#include "mail/mime/parameter.h"
#include "mail/mime/tokenizer.h"
#include "mail/mime/tokenstring.h"

bool IsTspecial(const DwTokenizer& tokenizer, char c) {
    return tokenizer.Type() == kTokenTspecial && tokenizer.Token().size() == 1 && tokenizer.Token()[0] == c;
}

bool SeekTspecial(DwTokenizer& tokenizer, char c) {
    while (tokenizer.Type() != kTokenNull) {
        if (IsTspecial(tokenizer, c)) return true;
        tokenizer.NextToken();
    }
    return false;
}

DwParameterFieldBody::DwParameterFieldBody() = default;

DwParameterFieldBody::DwParameterFieldBody(const std::string& text, DwMessageComponent* parent)
    : DwFieldBody(text, parent) {}

DwParameterFieldBody::DwParameterFieldBody(const DwParameterFieldBody& other) : DwFieldBody(other) {
    CopyParametersFrom(other);
}

DwParameterFieldBody& DwParameterFieldBody::operator=(const DwParameterFieldBody& other) {
    if (this != &other) {
        params_.DeleteAll();
        DwFieldBody::operator=(other);
        CopyParametersFrom(other);
    }
    return *this;
}

DwParameterFieldBody::~DwParameterFieldBody() = default;

void DwParameterFieldBody::CopyParametersFrom(const DwParameterFieldBody& other) {
    for (int i = 0; i < other.params_.Count(); ++i) {
        auto* parameter = static_cast<DwParameter*>(other.params_.At(i)->Clone());
        if (!parameter) break;
        AdoptParameter(parameter);
    }
}

void DwParameterFieldBody::AdoptParameter(DwParameter* parameter) {
    if (params_.Append(parameter)) {
        parameter->SetParent(this);
    } else {
        delete parameter;
    }
}

DwParameter& DwParameterFieldBody::ParameterAt(int index) const {
    if (!params_.IsIndex(index)) abort();
    return *params_.At(index);
}

void DwParameterFieldBody::AddParameter(DwParameter* parameter) {
    InsertParameterAt(NumParameters(), parameter);
}

void DwParameterFieldBody::InsertParameterAt(int index, DwParameter* parameter) {
    if (!parameter) return;
    if (!params_.InsertAt(index, parameter)) return;
    parameter->SetParent(this);
    MarkModified();
}

DwParameter* DwParameterFieldBody::RemoveParameterAt(int index) {
    DwParameter* parameter = params_.RemoveAt(index);
    if (!parameter) return nullptr;
    parameter->SetParent(nullptr);
    MarkModified();
    return parameter;
}

void DwParameterFieldBody::DeleteAllParameters() {
    params_.DeleteAll();
    MarkModified();
}

DwParameter* DwParameterFieldBody::FindParameter(const char* name, const char* otherName) const {
    for (int i = 0; i < params_.Count(); ++i) {
        DwParameter* parameter = params_.At(i);
        if (EqualNoCaseC(parameter->Attribute(), name) ||
            (otherName && EqualNoCaseC(parameter->Attribute(), otherName)))
            return parameter;
    }
    return nullptr;
}

void DwParameterFieldBody::SetParameterValue(const char* name, const std::string& value) {
    if (DwParameter* parameter = FindParameter(name)) {
        parameter->SetValue(value);
        return;
    }
    DwParameter* parameter = DwParameter::NewParameter(std::string(), nullptr);
    if (!parameter) return;
    parameter->SetAttribute(name);
    parameter->SetValue(value);
    AddParameter(parameter);
}

void DwParameterFieldBody::ParseParameters(DwTokenizer& tokenizer, DwTokenString& window) {
    auto advanceUntil = [&tokenizer](auto wanted) {
        int type = tokenizer.Type();
        while (type != kTokenNull && !IsTspecial(tokenizer, ';') && !wanted(type))
            type = tokenizer.NextToken();
        return type != kTokenNull && !IsTspecial(tokenizer, ';');
    };
    while (SeekTspecial(tokenizer, ';')) {
        tokenizer.NextToken();
        window.BeginAt(tokenizer);
        if (!advanceUntil([](int type) { return type == kTokenMimeToken; })) continue;
        tokenizer.NextToken();
        if (!advanceUntil([&tokenizer](int) { return IsTspecial(tokenizer, '='); })) continue;
        tokenizer.NextToken();
        if (!advanceUntil([](int type) { return type == kTokenMimeToken || type == kTokenQuotedString; }))
            continue;
        tokenizer.NextToken();
        window.EndBefore(tokenizer);
        DwParameter* parameter = DwParameter::NewParameter(window.Tokens(), this);
        if (!parameter) break;
        parameter->Parse();
        AdoptParameter(parameter);
    }
}

void DwParameterFieldBody::AppendParameters(std::string& text) {
    for (int i = 0; i < params_.Count(); ++i) {
        DwParameter* parameter = params_.At(i);
        parameter->Assemble();
        text += IsFolding() ? ";\r\n  " : "; ";
        text += parameter->Text();
    }
}

void DwParameterFieldBody::DropParameters() {
    params_.DeleteAll();
}
