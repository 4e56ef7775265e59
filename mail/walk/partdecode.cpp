// The body of a part decoded by its transfer encoding.
#include <string>

#include "base/logwriter.h"
#include "base/messages.h"
#include "mail/mime/base64.h"
#include "mail/mime/enums.h"
#include "mail/mime/quotedprintable.h"
#include "mail/mime/uuencode.h"
#include "mail/walk/mailwalk.h"
#include "mail/walk/walkoutput.h"

int DecodeBody(int cte, std::string_view body, std::string& decoded) {
    decoded.clear();
    // CR bytes of the decoded data are the part's own: none is dropped.
    switch (cte) {
    case kCteBase64:
        return Base64Decode(body, decoded, false);
    case kCteQuotedPrintable:
        return QpDecode(body, decoded, false);
    case kCteUuencode:
        return UuDecode(body, decoded, false);
    default:
        decoded.assign(body);
        return 0;
    }
}

void DecodePartBody(const char* name, int cte, std::string_view body, std::string& decoded) {
    if (DecodeBody(cte, body, decoded) == 0) return;
    std::string encoding;
    CteEnumToStr(cte, encoding);
    if (encoding.empty()) encoding = "Unknown";
    PrintMessage("%s%s - ", ProcessPrefix().c_str(), name);
    PrintMessage(MessageText(200), encoding.c_str());
    EndMessageLine(0);
}
