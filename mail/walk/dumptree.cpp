// DebugMail: the message tree drawn line by line, and the bodies of its leaves in files.
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

#include "base/filelayer.h"
#include "base/logwriter.h"
#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/entity.h"
#include "mail/mime/enums.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "mail/mime/text.h"
#include "mail/walk/mailwalk.h"
#include "unix/config/daemonsettings.h"

namespace {

// Raised for every leaf dumped; never reset, so that the files of a process never share a name.
unsigned DumpCounter = 0;

// A new file of its own (never an existing one, never through a symbolic link, mode 0600) holding data;
// false when it could not be made whole.
bool WriteNewFile(const std::string& path, std::string_view data) {
    const int fd = FileOpen(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = FileWrite(fd, data.data() + done, data.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    FileClose(fd);
    return done == data.size();
}

std::string Repeat(const char* piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

std::string LabelOf(DwHeaders& headers) {
    DwMediaType* type = headers.FindContentType();
    if (!type || type->Type() < kTypeText) return "text:plain (implicit)";
    return type->TypeStr() + ":" + type->SubtypeStr();
}

std::string DumpFolder() {
    return TempPath[0] ? std::string(TempPath) : std::string("/tmp");
}

} // namespace

void DumpMimeTree(int level, DwEntity& entity) {
    DwHeaders& headers = entity.Headers();
    DwBody& body = entity.Body();
    const std::string label = LabelOf(headers);
    PrintMessage(" %s", Repeat("| ", level - 1).c_str());
    EndMessageLine(0);
    std::string line = " " + Repeat("| ", level >= 3 ? level - 2 : 0) + (level >= 2 ? "+-" : "");
    DwMediaType* type = headers.FindContentType();
    const int typeCode = type ? type->Type() : kTypeNull;
    // The tree's own nesting limit bounds the recursion: a body it left whole has no parts.
    if (typeCode == kTypeMultipart) {
        PrintMessage("%s%s (body parts: %d)", line.c_str(), label.c_str(), body.PartCount());
        EndMessageLine(0);
        for (int i = 0; i < body.PartCount(); ++i) DumpMimeTree(level + 1, body.PartAt(i));
        return;
    }
    if (typeCode == kTypeMessage) {
        PrintMessage("%s%s", line.c_str(), label.c_str());
        EndMessageLine(0);
        if (body.NestedMessage()) DumpMimeTree(level + 1, *body.NestedMessage());
        return;
    }
    std::string description = label;
    // Read without adding a field.
    if (DwField* field = headers.FindField("Content-Description"))
        if (!field->FieldBodyText().empty()) description += " (" + field->FieldBodyText() + ")";
    DwField* cteField = headers.FindField("Content-Transfer-Encoding");
    DwMechanism* mechanism = headers.FindContentTransferEncoding();
    const int cte = mechanism ? mechanism->AsEnum() : kCteNull;
    const std::string raw =
        DumpFolder() + "/tarvod.out." + std::to_string(getpid()) + "." + std::to_string(DumpCounter++);
    const std::string decodedName = raw + ".decoded";
    WriteNewFile(raw, body.TextView());
    std::string decoded;
    DecodePartBody(raw.c_str(), cte, body.TextView(), decoded);
    PrintMessage("%s%s / %s [%d] (%s -> %s)", line.c_str(), description.c_str(),
                 cteField ? cteField->FieldBodyText().c_str() : "", cte, raw.c_str(), decodedName.c_str());
    EndMessageLine(0);
    WriteNewFile(decodedName, decoded);
}
