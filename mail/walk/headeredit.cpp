// Header editing of the walk and the sender address of the trace fields.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mime/charclass.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/stamp.h"
#include "mail/walk/mailwalk.h"
#include "mail/walk/senderaddress.h"

bool IsFieldNamed(const DwField& field, const char* name) {
    // Field names are ASCII: compared as the tree's own look-ups compare them, whatever the locale,
    // and read where they lie.
    const std::string_view have = field.FieldNameView();
    return EqualNoCaseC(have.data(), have.size(), name, strlen(name));
}

int RemoveFieldsByName(DwHeaders& headers, const char* name) {
    // One pass: a header of many such fields must not cost a shift of the rest for each.
    return headers.DeleteFieldsIf([name](const DwField& field) { return IsFieldNamed(field, name); }) > 0 ? 1
                                                                                                          : 0;
}

void SetHeaderField(DwHeaders& headers, const char* name, const char* value) {
    RemoveFieldsByName(headers, name);
    DwField* field = DwField::NewField(std::string(name) + ": " + value + "\r\n", &headers);
    if (!field) return;
    field->Parse();
    headers.AppendField(field);
}

uint32_t FindSenderAddress(const DwHeaders& headers) {
    std::vector<std::string> clauses;
    for (int i = headers.FieldCount() - 1; i >= 0; --i) {
        const DwField& field = headers.FieldAt(i);
        if (!IsFieldNamed(field, "Received")) continue;
        DwStamp stamp(field.FieldBodyText(), nullptr);
        stamp.Parse();
        clauses.push_back(stamp.From());
    }
    return SenderAddressOfClauses(clauses);
}
