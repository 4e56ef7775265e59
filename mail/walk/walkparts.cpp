#include "mail/walk/walkparts.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <strings.h>

#include "base/logwriter.h"
#include "base/messages.h"
#include "mail/mime/base64.h"
#include "mail/mime/body.h"
#include "mail/mime/entity.h"
#include "mail/mime/enums.h"
#include "mail/mime/headers.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "mail/mime/bodypart.h"
#include "mail/walk/mailsettings.h"
#include "mail/walk/mailwalk.h"
#include "mail/walk/notice.h"
#include "mail/walk/headerrules.h"
#include "mail/walk/walkoutput.h"
#include "shell/host/hostreport.h"
#include "shell/host/memfile.h"
#include "shell/settings/scankeys.h"
#include "shell/scan/scanstop.h"
#include "shell/scan/scantask.h"

namespace {

constexpr size_t kMaxObjectName = 511;

// Type and subtype of the Content-Type; text/plain without one or with a type below text.
void TypeOf(DwHeaders& headers, int* type, int* subtype) {
    DwMediaType* mediaType = headers.FindContentType();
    if (!mediaType || mediaType->Type() < kTypeText) {
        *type = kTypeText;
        *subtype = kSubtypePlain;
        return;
    }
    *type = mediaType->Type();
    *subtype = mediaType->Subtype();
}

std::string ObjectNameOf(const std::string& name) {
    std::string object;
    for (char c : name)
        if (c != '\n') object += c;
    if (object.size() > kMaxObjectName) object.resize(kMaxObjectName);
    return object;
}

// The memory files a leaf's scan made (the object, what the engine created) are freed after it;
// those that were there before, such as the request's own object, stay.
class LeafMemoryFiles {
public:
    LeafMemoryFiles() {
        CreateMemoryFileList();
        before_ = Listed();
    }
    ~LeafMemoryFiles() {
        for (void* file : Listed())
            if (std::find(before_.begin(), before_.end(), file) == before_.end())
                MemoryFiles->DeleteFile(static_cast<MemoryFile*>(file));
    }
    LeafMemoryFiles(const LeafMemoryFiles&) = delete;
    LeafMemoryFiles& operator=(const LeafMemoryFiles&) = delete;

private:
    static std::vector<void*> Listed() {
        std::vector<void*> files;
        if (MemoryFiles)
            for (void* file = MemoryFiles->FirstPtr(); file; file = MemoryFiles->NextPtr())
                files.push_back(file);
        return files;
    }
    std::vector<void*> before_;
};

// The object scanned as a memory file of that name: its result bits. A part that could not be made
// into an object was not looked at: it counts as a read error, never as clean.
uint32_t ScanObject(ScanTask* task, const std::string& object, const std::string& data) {
    if (data.size() > kMemoryFileMaxSize ||
        !AddMemoryFile(data.data(), static_cast<uint32_t>(data.size()), object.c_str())) {
        task->CountReadError();
        return TARVO_RESULT_READ_ERROR;
    }
    return task->ScanFile(object.c_str(), data.size());
}

// Position of the first "<html>" (without case) at a '<', or npos.
size_t FindHtmlTag(const std::string& text) {
    for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1))
        if (text.size() - at >= 6 && strncasecmp(text.c_str() + at, "<html>", 6) == 0) return at;
    return std::string::npos;
}

} // namespace

std::string ScanMessagePart(DwHeaders& headers, const std::string& body, const std::string& name,
                            ScanTask* task, uint32_t* status) {
    if (body.empty()) return std::string();
    *status = 0;
    std::string label;
    PartLabel(headers, label, 1);
    const std::string partName = name + "/" + label;
    const std::string prefix = ProcessPrefix();
    int type = 0;
    int subtype = 0;
    TypeOf(headers, &type, &subtype);
    if (type == kTypeMessage && subtype == kSubtypePartial) {
        PrintMessage("%s%s %s", prefix.c_str(), partName.c_str(), MessageText(151));
        EndMessageLine(0);
        *status = kMailPartialSkipped;
        task->CountSkipped();
        return std::string();
    }
    if (type == kTypeMultipart && headers.FindContentType()->Boundary().empty()) {
        PrintMessage("%s%s %s", prefix.c_str(), partName.c_str(), MessageText(201));
        EndMessageLine(0);
    }
    // Read without adding a field: the message is written back as it came, but for the changed parts.
    DwMechanism* mechanism = headers.FindContentTransferEncoding();
    std::string decoded;
    DecodePartBody(partName.c_str(), mechanism ? mechanism->AsEnum() : kCteNull, body, decoded);
    if (decoded.empty()) return std::string();

    if (type == kTypeText && subtype == kSubtypeHtml) {
        const size_t html = FindHtmlTag(decoded);
        const size_t first = decoded.find('<');
        if (html != std::string::npos && html != 0 && first != 0) {
            const std::string stripped = ObjectNameOf(partName + ".Stripped");
            *status = ScanObject(task, stripped, decoded.substr(html));
            if (*status & (TARVO_RESULT_DELETED | TARVO_RESULT_MOVED)) {
                task->ClearLine();
                return stripped;
            }
            if (*status & TARVO_RESULT_CURED) {
                // The text before "<html>" was not scanned yet: the cured page goes back behind it and the
                // whole is scanned as usual.
                uint32_t size = 0;
                const uint8_t* cured = GetMemoryFileData(&size, stripped.c_str());
                if (cured)
                    decoded =
                        decoded.substr(0, html) + std::string(reinterpret_cast<const char*>(cured), size);
            }
        }
    }
    const std::string object = ObjectNameOf(partName);
    *status |= ScanObject(task, object, decoded);
    task->ClearLine();
    return object;
}

uint32_t ReplaceScannedPart(MailWalkState& walk, uint32_t status, DwEntity& entity,
                            const std::string* cured) {
    DwHeaders& headers = entity.Headers();
    if (status & TARVO_RESULT_DELETED) {
        walk.changed = 1;
        RemoveFieldsByName(headers, "Content-Disposition");
        RemoveFieldsByName(headers, "Lines");
        RemoveFieldsByName(headers, "Content-Length");
        SetHeaderField(headers, "Content-Transfer-Encoding", "8bit");
        SetHeaderField(headers, "Content-Type", "text/plain; charset=us-ascii");
        entity.Body().SetText(DeletedPartNotice(FoundListCopy));
        entity.Assemble();
        walk.rewritten.push_back(&entity);
    } else if ((status & TARVO_RESULT_CURED) && cured) {
        walk.changed = 1;
        std::string encoded;
        // The cured bytes must not become an empty part: the walk answers "no memory" instead.
        if (Base64Encode(*cured, encoded) != 0) throw std::bad_alloc();
        entity.Body().SetText(std::move(encoded));
        RemoveFieldsByName(headers, "Lines");
        RemoveFieldsByName(headers, "Content-Length");
        SetHeaderField(headers, "Content-Transfer-Encoding", "base64");
        walk.rewritten.push_back(&entity);
    }
    FoundListCopy.Clear();
    return status;
}

uint32_t ScanLeafEntity(MailWalkState& walk, DwEntity& entity) {
    uint32_t leaf = 0;
    std::string cured;
    bool haveCured = false;
    {
        LeafMemoryFiles files;
        const std::string object =
            ScanMessagePart(entity.Headers(), entity.Body().Text(), walk.name, walk.task, &leaf);
        uint32_t size = 0;
        const uint8_t* data = (leaf & TARVO_RESULT_CURED) && !object.empty()
                                  ? GetMemoryFileData(&size, object.c_str())
                                  : nullptr;
        if (data) {
            cured.assign(reinterpret_cast<const char*>(data), size);
            haveCured = true;
        }
    }
    walk.status |= leaf;
    // A scan the time-out cut short changes nothing.
    if (!ScanTimeoutFlag)
        ReplaceScannedPart(walk, leaf, entity, haveCured ? &cured : nullptr);
    else
        FoundListCopy.Clear();
    return leaf;
}

int ScanMultipartParts(MailWalkState& walk, DwEntity& entity) {
    if (ScanTimeoutFlag) {
        walk.changed = 0;
        walk.status |= kMailTimedOut;
        return 1;
    }
    int type = 0;
    int subtype = 0;
    TypeOf(entity.Headers(), &type, &subtype);
    DwBody& body = entity.Body();
    // A body the tree left whole (too deep, or no part could be found in it) is scanned as one leaf: what
    // was not looked at must not pass as clean. The tree's nesting limit bounds this recursion.
    if (type == kTypeMultipart && body.PartCount() > 0) {
        for (int i = 0; i < body.PartCount(); ++i)
            if (ScanMultipartParts(walk, body.PartAt(i)) != 0) return 1;
        return 0;
    }
    if (type == kTypeMessage && subtype == kSubtypePartial) {
        ScanLeafEntity(walk, entity);
        return 0;
    }
    if (type == kTypeMessage && body.NestedMessage()) return ScanMultipartParts(walk, *body.NestedMessage());
    const uint32_t leaf = ScanLeafEntity(walk, entity);
    return (leaf & (TARVO_RESULT_INFECTED | TARVO_RESULT_MODIFICATION)) && StopOnFirstInfected &&
                   !MailActionsRequested
               ? 1
               : 0;
}
