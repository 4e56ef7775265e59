#include "treedump.h"

#include <cstdio>

#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/message.h"

namespace {

std::string Quoted(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char hex[8];
                snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

void Dump(const DwEntity& entity, const std::string& indent, std::string& out) {
    out += indent + (entity.ClassId() == kCidMessage ? "message\n" : "part\n");
    const std::string inner = indent + "  ";
    const DwHeaders& headers = entity.Headers();
    for (int i = 0; i < headers.FieldCount(); ++i) {
        const DwField& field = headers.FieldAt(i);
        out += inner + "field " + Quoted(field.FieldName()) + " " + Quoted(field.FieldBodyText()) + "\n";
    }
    const DwBody& body = entity.Body();
    if (body.NestedMessage()) {
        Dump(*body.NestedMessage(), inner, out);
    } else if (body.PartCount() > 0) {
        out += inner + "preamble " + Quoted(body.Preamble()) + "\n";
        for (int i = 0; i < body.PartCount(); ++i) Dump(body.PartAt(i), inner, out);
        out += inner + "epilogue " + Quoted(body.Epilogue()) + "\n";
    } else {
        out += inner + (body.IsNestingCut() ? "cut " : "leaf ") + Quoted(body.Text()) + "\n";
    }
}

} // namespace

std::string DumpTree(const DwEntity& entity) {
    std::string out;
    Dump(entity, "", out);
    return out;
}
