#include "mail/walk/partlabel.h"

#include "mail/mime/disposition.h"
#include "mail/mime/headers.h"
#include "mail/mime/mediatype.h"

void PartLabel(DwHeaders& headers, std::string& label, int forScan) {
    label.clear();
    if (DwDispositionType* disposition = headers.FindContentDisposition()) label = disposition->Filename();
    DwMediaType* type = headers.FindContentType();
    if (label.empty() && type) label = type->Filename();
    if (!label.empty() || !forScan) return;
    const std::string typeText = type ? type->TypeStr() : std::string();
    if (typeText.empty()) {
        label = "[message body]";
        return;
    }
    label = "[" + typeText;
    if (!type->SubtypeStr().empty()) label += ":" + type->SubtypeStr();
    label += "]";
}
