#include "mail/walk/walkparts.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <strings.h>

#include "base/logwriter.h"
#include "base/messages.h"
#include "base/shortbytes.h"
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
#include "mail/walk/readings.h"
#include "mail/walk/walkoutput.h"
#include "shell/host/hostreport.h"
#include "shell/host/memfile.h"
#include "shell/settings/scankeys.h"
#include "shell/scan/scanstop.h"
#include "shell/scan/scantask.h"

namespace {

constexpr size_t kMaxObjectName = 511;

// MakeObjectName of a name that holds a line feed or a NUL: few do.
[[gnu::noinline]] size_t MakeUnusualObjectName(std::string& name) {
    name.erase(std::remove(name.begin(), name.end(), '\n'), name.end());
    if (name.size() > kMaxObjectName) name.resize(kMaxObjectName);
    return std::strlen(name.c_str());
}

// The name's length as the memory file and the engine take it: up to its first NUL. Inline: one
// search rules out both line feeds and NULs for almost every part.
[[gnu::always_inline]] inline size_t MakeObjectName(std::string& name) {
    const size_t size = name.size();
    if (FirstOfTwoBytes(name.data(), size, '\n', '\0') != size) return MakeUnusualObjectName(name);
    if (size <= kMaxObjectName) return size;
    name.resize(kMaxObjectName);
    return kMaxObjectName;
}

// The memory files a leaf's scan made (the object, what the engine created) are freed after it;
// those that were there before, such as the request's own object, stay. Told by the order of making:
// a file freed during the leaf whose block a new one took must not pass for an old one.
class LeafMemoryFiles {
public:
    LeafMemoryFiles() : mark_(MemoryFileMark()) { CreateMemoryFileList(); }
    ~LeafMemoryFiles() { DeleteMemoryFilesSince(mark_); }
    LeafMemoryFiles(const LeafMemoryFiles&) = delete;
    LeafMemoryFiles& operator=(const LeafMemoryFiles&) = delete;

private:
    const uint64_t mark_;
};

// The object scanned as a memory file of that name (of nameLength characters, MakeObjectName): its
// result bits. A part that could not be made into an object was not looked at: it counts as a read
// error, never as clean. Another reading scans only what was not scanned yet. Inline: every part's
// object is made and scanned here.
[[gnu::always_inline]] inline uint32_t ScanObject(MailWalkState& walk, const std::string& object,
                                                  size_t nameLength, std::string_view data) {
    if (walk.remember || walk.otherReading) {
        const bool fresh = walk.scanned.insert(Sha256Digest(data.data(), data.size())).second;
        if (!fresh && walk.otherReading) return 0;
    }
    // Borrowed, not copied: data is the part's body where the message holds it, or one of the leaf's
    // LeafTexts, and ScanLeafEntity changes neither until it has freed the leaf's memory files. The
    // engine's first change gives the object bytes of its own.
    if (data.size() > kMemoryFileMaxSize ||
        !AddBorrowedMemoryFile(data.data(), static_cast<uint32_t>(data.size()), object.c_str(), nameLength)) {
        walk.task->CountReadError();
        return TARVO_RESULT_READ_ERROR;
    }
    return walk.task->ScanFile(object.c_str(), nameLength, data.size());
}

bool HasText(std::string_view body) {
    return body.find_first_not_of(" \t\r\n") != std::string_view::npos;
}

void PartNameInto(const MailWalkState& walk, DwHeaders& headers, std::string& name,
                  const PendingContentType* pending = nullptr) {
    name.assign(walk.name);
    name += '/';
    AppendPartLabel(headers, name, 1, pending);
}

// The part's name (PartNameInto) in the state's objectName. The message's name and the '/' in front
// stay from the last part where they are still there: an object's name made of a part's
// (MakeObjectName) keeps them when the message's name holds no line feed and fits under the limit.
void PartObjectNameInto(MailWalkState& walk, DwHeaders& headers, std::string& name,
                        const PendingContentType* pending) {
    const size_t start = walk.name.size() + 1;
    if (walk.objectNameKeepsName && name.size() >= start) {
        name.resize(start);
    } else {
        name.assign(walk.name);
        name += '/';
        walk.objectNameKeepsName =
            start <= kMaxObjectName && !memchr(walk.name.data(), '\n', walk.name.size());
    }
    AppendPartLabel(headers, name, 1, pending);
}

std::string PartNameOf(const MailWalkState& walk, DwHeaders& headers) {
    std::string name;
    PartNameInto(walk, headers, name);
    return name;
}

// The task's actions off while other readings are scanned: what they find is reported, and nothing
// is cured or deleted in an object that is not the message's.
class ReportOnly {
public:
    explicit ReportOnly(ScanTask& task) : task_(task), deleteArchives_(EnableDeleteArchiveAction) {
        uint32_t* word = task_.Settings().word;
        for (int i = 0; i < kActionWords; ++i) {
            saved_[i] = word[kContainerActionWord + i];
            word[kContainerActionWord + i] = 0;
        }
        EnableDeleteArchiveAction = 0;
    }
    ~ReportOnly() {
        for (int i = 0; i < kActionWords; ++i) task_.Settings().word[kContainerActionWord + i] = saved_[i];
        EnableDeleteArchiveAction = deleteArchives_;
    }
    ReportOnly(const ReportOnly&) = delete;
    ReportOnly& operator=(const ReportOnly&) = delete;

private:
    // The container, incurable, infected, suspicious and extended-class action words.
    static constexpr int kActionWords = kHacktoolActionWord - kContainerActionWord + 1;
    ScanTask& task_;
    uint32_t saved_[kActionWords];
    int32_t deleteArchives_;
};

// The type QueueTreeReadings noted for the entity ScanMultipartParts visits, or null.
const EntityType* NotedTypeOf(MailWalkState& walk, const DwEntity& entity) {
    if (walk.nextTypeNote < walk.typeNotes.size() && walk.typeNotes[walk.nextTypeNote].entity == &entity)
        return &walk.typeNotes[walk.nextTypeNote++].type;
    return nullptr;
}

int ScanEntityOfType(MailWalkState& walk, DwEntity& entity, const EntityType& read);

// The other readings of entity join the queue, each once, within the message's bounds.
void QueueOtherReadings(MailWalkState& walk, DwEntity& entity, const EntityType& read) {
    std::vector<EntityReading> readings;
    if (!OtherEntityReadings(entity, read, &readings)) return;
    const std::string part = PartNameOf(walk, entity.Headers());
    for (EntityReading& reading : readings) {
        if (!walk.readings.insert(Sha256Digest(reading.text.data(), reading.text.size())).second) continue;
        if (walk.readingsTaken >= kMaxOtherReadings || reading.text.size() > walk.readingBytesLeft) {
            walk.readingsCut = true;
            continue;
        }
        ++walk.readingsTaken;
        walk.readingBytesLeft -= reading.text.size();
        DwMessageComponent* parent = reading.inside ? &entity.Body() : entity.Parent();
        walk.pending.push_back({parent, std::move(reading.text), part, reading.why});
    }
}

// The found lines of the leaf just scanned go. Most leaves found nothing: their empty list is left as
// it is.
void ClearLeafFindings() {
    if (FoundListCopy.Count() != 0) FoundListCopy.Clear();
}

// Position of the first "<html>" (without case) at a '<', or npos.
size_t FindHtmlTag(std::string_view text) {
    for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1))
        if (text.size() - at >= 6 && strncasecmp(text.data() + at, "<html>", 6) == 0) return at;
    return std::string_view::npos;
}

} // namespace

void NotExamined(MailWalkState& walk, const std::string& part, const char* why) {
    walk.task->CountReadError();
    walk.status |= TARVO_RESULT_READ_ERROR;
    PrintMessage("%s%s - %s (%s)", ProcessPrefix().c_str(), part.c_str(), MessageText(39), why);
    EndMessageLine(0);
}

const std::string& ScanMessagePart(MailWalkState& walk, DwEntity& entity, const EntityType& read,
                                   uint32_t* status, LeafTexts& texts) {
    const int type = read.type;
    const int subtype = read.subtype;
    DwHeaders& headers = entity.Headers();
    const std::string_view body = entity.Body().TextView();
    // The part's name, then the object's made of it in place, in the state's room of the last part.
    std::string& partName = walk.objectName;
    if (body.empty()) {
        partName.clear();
        return partName;
    }
    *status = 0;
    PartObjectNameInto(walk, headers, partName, read.pending ? &read.read : nullptr);
    if (type == kTypeMessage && subtype == kSubtypePartial) {
        PrintMessage("%s%s %s", ProcessPrefix().c_str(), partName.c_str(), MessageText(151));
        EndMessageLine(0);
        *status = kMailPartialSkipped;
        walk.task->CountSkipped();
        partName.clear();
        return partName;
    }
    if (type == kTypeMultipart && headers.FindContentType()->Boundary().empty()) {
        PrintMessage("%s%s %s", ProcessPrefix().c_str(), partName.c_str(), MessageText(201));
        EndMessageLine(0);
    }
    // Read without adding a field: the message is written back as it came, but for the changed parts.
    const int cte = TransferEncodingOf(entity, read);
    // A body in no transfer encoding is scanned where it lies.
    std::string& decoded = texts.decoded;
    std::string_view data = body;
    if (HasBodyDecoder(cte)) {
        DecodePartBody(partName.c_str(), cte, body, decoded);
        data = decoded;
        if (decoded.empty()) {
            if (!HasText(body)) {
                partName.clear();
                return partName;
            }
            // Nothing came out of an encoded body: what a reader makes of it is not known, so the body is
            // scanned as it stands and the message is not answered clean.
            std::string encoding;
            CteEnumToStr(cte, encoding);
            const std::string why = "nothing could be decoded from its " + encoding;
            NotExamined(walk, partName, why.c_str());
            data = body;
        }
    }

    if (type == kTypeText && subtype == kSubtypeHtml) {
        const size_t html = FindHtmlTag(data);
        const size_t first = data.find('<');
        if (html != std::string_view::npos && html != 0 && first != 0) {
            std::string stripped = partName + ".Stripped";
            const size_t strippedLength = MakeObjectName(stripped);
            const uint64_t strippedMark = MemoryFileMark();
            *status = ScanObject(walk, stripped, strippedLength, data.substr(html));
            if (*status & (TARVO_RESULT_DELETED | TARVO_RESULT_MOVED)) {
                walk.task->ClearLine();
                partName = stripped;
                return partName;
            }
            if (*status & TARVO_RESULT_CURED) {
                // The text before "<html>" was not scanned yet: the cured page goes back behind it and the
                // whole is scanned as usual.
                uint32_t size = 0;
                const uint8_t* cured = GetMemoryFileData(&size, stripped.c_str());
                if (cured) {
                    // Beside the decoded text, which the page's object may still borrow.
                    std::string& page = texts.page;
                    page.assign(data.substr(0, html));
                    page.append(reinterpret_cast<const char*>(cured), size);
                    data = page;
                }
            }
            // The page's objects go before the whole's is made: a name cut to length may be the same
            // for both, and the whole part must not be refused, or scanned as the page.
            DeleteMemoryFilesSince(strippedMark);
        }
    }
    // The part's name is not needed any more: the object's is made of it in place.
    const size_t objectLength = MakeObjectName(partName);
    *status |= ScanObject(walk, partName, objectLength, data);
    walk.task->ClearLine();
    return partName;
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
    ClearLeafFindings();
    return status;
}

uint32_t ScanLeafEntity(MailWalkState& walk, DwEntity& entity, const EntityType& type) {
    uint32_t leaf = 0;
    std::string cured;
    bool haveCured = false;
    {
        // Made before the memory files and freed after them: the files borrow these texts.
        LeafTexts texts;
        LeafMemoryFiles files;
        const std::string& object = ScanMessagePart(walk, entity, type, &leaf, texts);
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
    // A scan the time-out cut short changes nothing, nor does one of another reading.
    // Most leaves were neither cured nor deleted: there is nothing to apply to them.
    if (!ScanTimeoutFlag && !walk.otherReading && (leaf & (TARVO_RESULT_DELETED | TARVO_RESULT_CURED)))
        ReplaceScannedPart(walk, leaf, entity, haveCured ? &cured : nullptr);
    else
        ClearLeafFindings();
    return leaf;
}

int ScanMultipartParts(MailWalkState& walk, DwEntity& entity) {
    if (ScanTimeoutFlag) {
        walk.changed = 0;
        walk.status |= kMailTimedOut;
        return 1;
    }
    // An entity without a note reads its own type; most have one, and no room is made for another.
    if (const EntityType* noted = NotedTypeOf(walk, entity)) return ScanEntityOfType(walk, entity, *noted);
    return ScanEntityOfType(walk, entity, EntityTypeOf(entity));
}

namespace {

// ScanMultipartParts once the entity's type is known.
int ScanEntityOfType(MailWalkState& walk, DwEntity& entity, const EntityType& read) {
    const int type = read.type;
    const int subtype = read.subtype;
    DwBody& body = entity.Body();
    if (body.IsNestingCut()) {
        // Kept whole below the nesting limit: its text is scanned as it stands, and the message is not
        // answered clean.
        NotExamined(walk, PartNameOf(walk, entity.Headers()), "nesting too deep");
    } else if (type == kTypeMultipart && body.PartCount() > 0) {
        for (int i = 0; i < body.PartCount(); ++i)
            if (ScanMultipartParts(walk, body.PartAt(i)) != 0) return 1;
        return 0;
    } else if (type == kTypeMessage && subtype == kSubtypePartial) {
        ScanLeafEntity(walk, entity, read);
        return 0;
    } else if (type == kTypeMessage && body.NestedMessage()) {
        return ScanMultipartParts(walk, *body.NestedMessage());
    }
    // A leaf, or a body the tree left whole: what was not looked at must not pass as clean.
    const uint32_t leaf = ScanLeafEntity(walk, entity, read);
    return (leaf & (TARVO_RESULT_INFECTED | TARVO_RESULT_MODIFICATION)) && StopOnFirstInfected &&
                   !MailActionsRequested
               ? 1
               : 0;
}

} // namespace

void QueueTreeReadings(MailWalkState& walk, DwEntity& entity) {
    // Read where it is noted, until the parts below are noted too.
    MailWalkState::TypeNote& note = walk.typeNotes.emplace_back();
    note.entity = &entity;
    EntityType& read = note.type;
    ReadEntityType(entity, read);
    const int type = read.type;
    const int subtype = read.subtype;
    QueueOtherReadings(walk, entity, read);
    DwBody& body = entity.Body();
    if (body.IsNestingCut()) return;
    if (type == kTypeMultipart) {
        // Room for the parts' notes at once, still growing by doubling where parts hold parts.
        std::vector<MailWalkState::TypeNote>& notes = walk.typeNotes;
        const size_t wanted = notes.size() + static_cast<size_t>(body.PartCount());
        if (wanted > notes.capacity()) notes.reserve(std::max(wanted, 2 * notes.capacity()));
        for (int i = 0; i < body.PartCount(); ++i) QueueTreeReadings(walk, body.PartAt(i));
    } else if (type == kTypeMessage && subtype != kSubtypePartial && body.NestedMessage()) {
        QueueTreeReadings(walk, *body.NestedMessage());
    }
}

void AddMessageReading(MailWalkState& walk, std::string reading, const char* why) {
    if (walk.readingsTaken >= kMaxOtherReadings || reading.size() > walk.readingBytesLeft) {
        walk.readingsCut = true;
        return;
    }
    ++walk.readingsTaken;
    walk.readingBytesLeft -= reading.size();
    walk.readings.insert(Sha256Digest(reading.data(), reading.size()));
    walk.pending.push_back({nullptr, std::move(reading), walk.name, why});
}

int WalkOtherReadings(MailWalkState& walk) {
    if (walk.pending.empty() && !walk.readingsCut) return 0;
    ReportOnly reportOnly(*walk.task);
    walk.otherReading = true;
    // Kept to the end: the readings of a reading's entities name them as their parents.
    std::vector<std::unique_ptr<DwBodyPart>> parts;
    int stop = 0;
    while (!stop && !walk.pending.empty()) {
        PendingReading reading = std::move(walk.pending.front());
        walk.pending.pop_front();
        if (LogArchived) {
            PrintMessage("%s%s - %s", ProcessPrefix().c_str(), reading.part.c_str(), reading.why);
            EndMessageLine(0);
        }
        std::unique_ptr<DwBodyPart> part(DwBodyPart::NewBodyPart(std::move(reading.text), reading.parent));
        if (!part) break;
        part->Parse();
        QueueTreeReadings(walk, *part);
        stop = ScanMultipartParts(walk, *part);
        parts.push_back(std::move(part));
    }
    walk.otherReading = false;
    walk.pending.clear();
    if (walk.readingsCut && !stop) NotExamined(walk, walk.name, "read too many ways");
    return stop;
}
