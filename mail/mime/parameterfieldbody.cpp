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

DwParameterFieldBody::DwParameterFieldBody() : params_(this) {}

DwParameterFieldBody::DwParameterFieldBody(const std::string& text, DwMessageComponent* parent)
    : DwFieldBody(text, parent), params_(this) {}

DwParameterFieldBody::DwParameterFieldBody(const DwParameterFieldBody& other)
    : DwFieldBody(other), params_(this) {
    params_.AdoptClonesOf(other.params_);
}

DwParameterFieldBody& DwParameterFieldBody::operator=(const DwParameterFieldBody& other) {
    if (this != &other) {
        params_.DeleteAll();
        DwFieldBody::operator=(other);
        params_.AdoptClonesOf(other.params_);
    }
    return *this;
}

DwParameterFieldBody::~DwParameterFieldBody() = default;

void DwParameterFieldBody::AdoptParameter(DwParameter* parameter) {
    params_.Adopt(parameter);
}

DwParameter& DwParameterFieldBody::ParameterAt(int index) const {
    if (!params_.IsIndex(index)) abort();
    return *params_.At(index);
}

void DwParameterFieldBody::AddParameter(DwParameter* parameter) {
    InsertParameterAt(NumParameters(), parameter);
}

void DwParameterFieldBody::InsertParameterAt(int index, DwParameter* parameter) {
    params_.Insert(index, parameter);
}

DwParameter* DwParameterFieldBody::RemoveParameterAt(int index) {
    return params_.Remove(index);
}

void DwParameterFieldBody::DeleteAllParameters() {
    params_.DeleteAllMarking();
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
