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

void DecodePartBody(const char* name, int cte, const std::string& body, std::string& decoded) {
    decoded.clear();
    int result = 0;
    // CR bytes of the decoded data are the part's own: none is dropped.
    switch (cte) {
    case kCteBase64:
        result = Base64Decode(body, decoded, false);
        break;
    case kCteQuotedPrintable:
        result = QpDecode(body, decoded, false);
        break;
    case kCteUuencode:
        result = UuDecode(body, decoded, false);
        break;
    default:
        decoded = body;
        return;
    }
    if (result == 0) return;
    std::string encoding;
    CteEnumToStr(cte, encoding);
    if (encoding.empty()) encoding = "Unknown";
    PrintMessage("%s%s - ", ProcessPrefix().c_str(), name);
    PrintMessage(MessageText(200), encoding.c_str());
    EndMessageLine(0);
}
