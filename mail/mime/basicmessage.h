// A convenience layer over the message tree for code that builds or reads simple messages.
#pragma once

#include <string>

#include "mail/mime/calendar.h"

class DwMessage;

// Owns one message for its whole life; copies are not offered, since two wrappers would free
// the same tree. Getters of absent fields give the empty text (enums 0, the date -1); setters
// make the field when needed and mark the tree modified.
class BasicMessage {
public:
    // An empty message.
    BasicMessage();
    // Takes the message over; the charset comes from its Content-Type (lower case).
    explicit BasicMessage(DwMessage* message);
    BasicMessage(const BasicMessage&) = delete;
    BasicMessage& operator=(const BasicMessage&) = delete;
    virtual ~BasicMessage();

    // Deletes the message held and keeps this one.
    void TakeMessage(DwMessage* message);
    DwMessage& Message() const { return *message_; }
    // The message assembled.
    const std::string& AsString();

    // MIME-Version 1.0 and a new Message-Id.
    virtual void SetAutomaticFields();

    const std::string& Charset() const { return charset_; }
    void SetCharset(const std::string& charset); // stored lower case

    const std::string& Body() const;
    void SetBody(const std::string& body);
    const std::string& CteStr() const { return FieldText("Content-Transfer-Encoding"); }
    void SetCteStr(const std::string& cte) { SetFieldText("Content-Transfer-Encoding", cte); }
    int Cte() const;
    void SetCte(int cte);
    const std::string& TypeStr() const;
    void SetTypeStr(const std::string& type);
    int Type() const;
    void SetType(int type);
    const std::string& SubtypeStr() const;
    void SetSubtypeStr(const std::string& subtype);
    int Subtype() const;
    void SetSubtype(int subtype);
    const std::string& Subject() const { return FieldText("Subject"); }
    void SetSubject(const std::string& subject) { SetFieldText("Subject", subject); }
    const std::string& From() const { return FieldText("From"); }
    void SetFrom(const std::string& from) { SetFieldText("From", from); }
    const std::string& To() const { return FieldText("To"); }
    void SetTo(const std::string& to) { SetFieldText("To", to); }
    const std::string& Cc() const { return FieldText("Cc"); }
    void SetCc(const std::string& cc) { SetFieldText("Cc", cc); }
    const std::string& Bcc() const { return FieldText("Bcc"); }
    void SetBcc(const std::string& bcc) { SetFieldText("Bcc", bcc); }
    const std::string& DateStr() const { return FieldText("Date"); }
    // Seconds since 1970, -1 without a Date field.
    DwTime Date() const;
    // The instant in the local zone.
    void SetDate(DwTime seconds);

protected:
    // The text of the named field's body; the empty text without such a field.
    const std::string& FieldText(const char* name) const;
    // The named field (made when missing) gets this body text, parsed.
    void SetFieldText(const char* name, const std::string& text);

private:
    DwMessage* message_ = nullptr;
    std::string empty_;
    std::string charset_;
};
