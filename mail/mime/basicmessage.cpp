#include "mail/mime/basicmessage.h"

#include "mail/mime/body.h"
#include "mail/mime/datetime.h"
#include "mail/mime/headers.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "mail/mime/msgid.h"
#include "mail/mime/multipartbodypart.h"

BasicMessage::BasicMessage() : message_(DwMessage::NewMessage(std::string(), nullptr)) {
    if (!message_) message_ = new DwMessage();
}

BasicMessage::BasicMessage(DwMessage* message) : message_(message) {
    if (!message_) message_ = new DwMessage();
    if (DwMediaType* type = message_->Headers().FindContentType()) charset_ = DwLowerCase(type->Charset());
}

BasicMessage::~BasicMessage() {
    delete message_;
}

void BasicMessage::TakeMessage(DwMessage* message) {
    if (message == message_) return;
    delete message_;
    message_ = message ? message : new DwMessage();
}

const std::string& BasicMessage::AsString() {
    message_->Assemble();
    return message_->Text();
}

void BasicMessage::SetAutomaticFields() {
    SetFieldText("MIME-Version", "1.0");
    message_->Headers().MessageId().CreateDefault();
}

void BasicMessage::SetCharset(const std::string& charset) {
    charset_ = DwLowerCase(charset);
}

const std::string& BasicMessage::FieldText(const char* name) const {
    DwFieldBody* body = message_->Headers().FindFieldBody(name);
    return body ? body->Text() : empty_;
}

void BasicMessage::SetFieldText(const char* name, const std::string& text) {
    DwFieldBody* body = message_->Headers().FieldBodyFor(name);
    if (!body) return;
    body->SetText(text); // marks the field and everything above it
    body->Parse();
}

const std::string& BasicMessage::Body() const {
    return message_->Body().Text();
}

void BasicMessage::SetBody(const std::string& body) {
    message_->Body().SetText(body);
}

int BasicMessage::Cte() const {
    DwMechanism* cte = message_->Headers().FindContentTransferEncoding();
    return cte ? cte->AsEnum() : 0;
}

void BasicMessage::SetCte(int cte) {
    message_->Headers().ContentTransferEncoding().FromEnum(cte);
}

const std::string& BasicMessage::TypeStr() const {
    DwMediaType* type = message_->Headers().FindContentType();
    return type ? type->TypeStr() : empty_;
}

void BasicMessage::SetTypeStr(const std::string& type) {
    message_->Headers().ContentType().SetTypeStr(type);
}

int BasicMessage::Type() const {
    DwMediaType* type = message_->Headers().FindContentType();
    return type ? type->Type() : 0;
}

void BasicMessage::SetType(int type) {
    message_->Headers().ContentType().SetType(type);
}

const std::string& BasicMessage::SubtypeStr() const {
    DwMediaType* type = message_->Headers().FindContentType();
    return type ? type->SubtypeStr() : empty_;
}

void BasicMessage::SetSubtypeStr(const std::string& subtype) {
    message_->Headers().ContentType().SetSubtypeStr(subtype);
}

int BasicMessage::Subtype() const {
    DwMediaType* type = message_->Headers().FindContentType();
    return type ? type->Subtype() : 0;
}

void BasicMessage::SetSubtype(int subtype) {
    message_->Headers().ContentType().SetSubtype(subtype);
}

DwTime BasicMessage::Date() const {
    DwDateTime* date = message_->Headers().FindDate();
    return date ? date->AsCalendarTime() : -1;
}

void BasicMessage::SetDate(DwTime seconds) {
    message_->Headers().Date().SetFromCalendarTime(seconds, 1);
}
