// The header block of an entity: its fields in order, with named presence tests and accessors.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

#include "mail/mime/component.h"
#include "mail/mime/childlist.h"
#include "mail/mime/field.h"

class DwField;
class DwFieldBody;
class DwAddressList;
class DwContentFileType;
class DwDateTime;
class DwDispositionType;
class DwMailbox;
class DwMailboxList;
class DwMediaType;
class DwMechanism;
class DwMsgId;
class DwStamp;
class DwText;

// The named fields: (member name, field name, class of its field body). Each row gives
// Has<member> (is there such a field), <member> (the field body, made and appended when there is
// none) and Find<member> (the field body, or null: creates nothing, for readers).
#define DW_HEADER_FIELDS(X)                                                                                  \
    X(XContentFile, "X-Content-File", DwContentFileType)                                                     \
    X(ContentDisposition, "Content-Disposition", DwDispositionType)                                          \
    X(MimeVersion, "MIME-Version", DwText)                                                                   \
    X(ContentType, "Content-Type", DwMediaType)                                                              \
    X(ContentTransferEncoding, "Content-Transfer-Encoding", DwMechanism)                                     \
    X(TransferEncoding, "Content-Transfer-Encoding", DwMechanism)                                            \
    X(ContentId, "Content-Id", DwMsgId)                                                                      \
    X(ContentDescription, "Content-Description", DwText)                                                     \
    X(Xref, "Xref", DwText)                                                                                  \
    X(Summary, "Summary", DwText)                                                                            \
    X(Path, "Path", DwText)                                                                                  \
    X(Organization, "Organization", DwText)                                                                  \
    X(Newsgroups, "Newsgroups", DwText)                                                                      \
    X(Lines, "Lines", DwText)                                                                                \
    X(FollowupTo, "followup-to", DwText)                                                                     \
    X(Expires, "Expires", DwText)                                                                            \
    X(Distribution, "Distribution", DwText)                                                                  \
    X(Control, "Control", DwText)                                                                            \
    X(Approved, "Approved", DwText)                                                                          \
    X(To, "To", DwAddressList)                                                                               \
    X(Subject, "Subject", DwText)                                                                            \
    X(Sender, "Sender", DwMailbox)                                                                           \
    X(ReturnPath, "Return-Path", DwMailbox)                                                                  \
    X(ResentTo, "Resent-To", DwAddressList)                                                                  \
    X(ResentSender, "Resent-Sender", DwMailbox)                                                              \
    X(ResentReplyTo, "Resent-Reply-To", DwAddressList)                                                       \
    X(ResentMessageId, "Resent-Message-Id", DwMsgId)                                                         \
    X(ResentFrom, "Resent-From", DwMailboxList)                                                              \
    X(ResentDate, "Resent-Date", DwDateTime)                                                                 \
    X(ResentCc, "Resent-Cc", DwAddressList)                                                                  \
    X(ResentBcc, "Resent-Bcc", DwAddressList)                                                                \
    X(ReplyTo, "Reply-To", DwAddressList)                                                                    \
    X(References, "References", DwText)                                                                      \
    X(Received, "Received", DwStamp)                                                                         \
    X(MessageId, "Message-Id", DwMsgId)                                                                      \
    X(Keywords, "Keywords", DwText)                                                                          \
    X(InReplyTo, "In-Reply-To", DwText)                                                                      \
    X(From, "From", DwMailboxList)                                                                           \
    X(Encrypted, "Encrypted", DwText)                                                                        \
    X(Date, "Date", DwDateTime)                                                                              \
    X(Comments, "Comments", DwText)                                                                          \
    X(Cc, "Cc", DwAddressList)                                                                               \
    X(Bcc, "Bcc", DwAddressList)

class DwHeaders : public DwMessageComponent {
public:
    // Inline, as the destructor: every entity makes and releases one.
    DwHeaders() : DwMessageComponent(kCidHeaders, "DwHeaders"), fields_(this) {}
    DwHeaders(const std::string& text, DwMessageComponent* parent);
    DwHeaders(const DwHeaders& other);
    DwHeaders& operator=(const DwHeaders& other);
    ~DwHeaders() override = default;

    // One field per field text: a line and the continuation lines (starting with a blank or TAB)
    // after it.
    void Parse() override;
    // The fields' texts one after another.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    int FieldCount() const { return fields_.Count(); }
    // An index outside 0 to FieldCount() - 1 ends the process.
    DwField& FieldAt(int index) const {
        if (!fields_.IsIndex(index)) abort();
        return *fields_.At(index);
    }
    // The first field of that name (compared without case), or null.
    DwField* FindField(const std::string& name) const { return FindNamed(name.data(), name.size()); }
    // Inline at every call: most callers name a literal, whose length the compiler then knows.
    [[gnu::always_inline]] DwField* FindField(const char* name) const {
        return name ? FindNamed(name, std::char_traits<char>::length(name)) : nullptr;
    }
    bool HasField(const std::string& name) const { return FindField(name) != nullptr; }
    bool HasField(const char* name) const { return FindField(name) != nullptr; }

    // Null is ignored. These mark the headers modified.
    void AppendField(DwField* field);
    // index clamped to 0..FieldCount().
    void InsertFieldAt(int index, DwField* field);
    // The field handed to the caller (parent cleared), or null for an index outside the array.
    DwField* RemoveFieldAt(int index);
    void DeleteAllFields();
    // Deletes every field for which pred (const DwField&, not throwing) holds, in one pass; marks
    // the headers modified when any went. The number deleted.
    template <class Pred> int DeleteFieldsIf(Pred pred) { return fields_.DeleteIf(pred); }

    // The field body of the first field of that name; a missing field is made (empty) and
    // appended, a field without a body gets one parsed from its body text. Null only when a
    // creation hook yields null.
    DwFieldBody* FieldBodyFor(const std::string& name);
    // The field body of the first field of that name without adding anything: null when there is
    // no such field. A field whose body was replaced by text gets one parsed from that text.
    DwFieldBody* FindFieldBody(const std::string& name);
    DwFieldBody* FindFieldBody(const char* name);

#define DW_HEADER_ACCESSOR_DECL(Member, Name, Class)                                                         \
    bool Has##Member() const {                                                                               \
        return HasField(Name);                                                                               \
    }                                                                                                        \
    Class& Member();                                                                                         \
    Class* Find##Member();
    DW_HEADER_FIELDS(DW_HEADER_ACCESSOR_DECL)
#undef DW_HEADER_ACCESSOR_DECL

    static DwHeaders* NewHeaders(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwHeaders> sNewHeadersHook;

private:
    friend class DwEntity;

    [[gnu::always_inline]] DwField* FindNamed(const char* name, size_t length) const {
        for (int i = 0; i < fields_.Count(); ++i) {
            DwField* field = fields_.At(i);
            if (field->IsNamed(name, length)) return field;
        }
        return nullptr;
    }

    // Parse, the first field ending at firstEnd and its first colon at firstColon (npos: not known
    // yet), told whether a field body hook is set. Whether it ran no hook (which might have set one).
    bool ParseFields(size_t firstEnd, size_t firstColon, bool fieldBodyHooks);

    DwChildList<DwField, 30> fields_;
};
