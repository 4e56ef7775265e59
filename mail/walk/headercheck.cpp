#include "mail/walk/headercheck.h"

#include <cstdio>

#include "base/logwriter.h"
#include "base/messages.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"

namespace {

// What is wrong with one field text (name, colon, body and line end); empty when it is well formed.
std::string FieldFault(const std::string& text) {
    const size_t colon = text.find(':');
    if (text.size() == 2 || colon == std::string::npos) return MessageText(187);
    if (text.back() != '\n') return MessageText(186);
    // The last two characters are the line end (or its last byte and the one before).
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool inName = i < colon;
        if (inName ? (c < 33 || c > 126) : c > 127) {
            char fault[256];
            snprintf(fault, sizeof fault, MessageText(188), c, static_cast<int>(i));
            return std::string(fault) + MessageText(inName ? 189 : 190);
        }
    }
    return std::string();
}

} // namespace

int CheckHeaderSyntax(const DwHeaders& headers, const std::string& prefix, const char* name) {
    if (headers.FieldCount() == 0) {
        PrintMessage("%s%s %s%s", prefix.c_str(), name, MessageText(185), MessageText(191));
        EndMessageLine(0);
        return -1;
    }
    for (int i = 0; i < headers.FieldCount(); ++i) {
        const std::string fault = FieldFault(headers.FieldAt(i).Text());
        if (fault.empty()) continue;
        PrintMessage("%s%s %s", prefix.c_str(), name, fault.c_str());
        PrintMessage(MessageText(192), i);
        PrintMessage("%s", MessageText(191));
        EndMessageLine(0);
        return -1;
    }
    return 0;
}
