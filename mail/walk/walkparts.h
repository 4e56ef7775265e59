// The walk through the parts of one message (used by the driver).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "base/sha256digest.h"
#include "mail/walk/readings.h"

class DwEntity;
class DwHeaders;
class DwMessageComponent;
class ScanTask;

// Other readings a message may have walked besides its tree (see readings.h); a message that has
// more is answered as not fully examined.
constexpr int kMaxOtherReadings = 32;

// A reading waiting to be walked once the tree has been.
struct PendingReading {
    DwMessageComponent* parent = nullptr;
    std::string text;
    std::string part; // the name of the entity it reads, for the log
    const char* why = "";
};

// What the walk of one message gathers.
struct MailWalkState {
    ScanTask* task = nullptr;
    std::string name;
    int changed = 0;
    uint32_t status = 0;
    // The parts whose body the walk replaced: only these (and the headers) get CR LF line ends when the
    // message is written.
    std::vector<DwEntity*> rewritten;

    // Set while other readings are walked: their objects are scanned for a report only, each one not
    // scanned before, and nothing in the message is changed.
    bool otherReading = false;
    // Whether the objects scanned are remembered (only when the message has other readings).
    bool remember = false;
    std::set<Sha256Value> scanned;
    std::set<Sha256Value> readings;
    std::deque<PendingReading> pending;
    int readingsTaken = 0;
    // Bytes the pending readings may still take: twice the message.
    size_t readingBytesLeft = 0;
    // A reading had to be left out.
    bool readingsCut = false;
    // The name of the last part's memory object, kept for its room: most parts' names are as long.
    std::string objectName;
    // Whether objectName, when not shorter, starts with name and a '/', which the next part's name
    // then keeps: made so by the last part, where the object's name made of it kept that start.
    bool objectNameKeepsName = false;

    // The types QueueTreeReadings read, in the order ScanMultipartParts then visits the same entities,
    // each before anything in it changes: an entity that is not the next one noted reads its own.
    // Nothing is noted while ScanMultipartParts runs, which reads the notes where they lie.
    struct TypeNote {
        const DwEntity* entity = nullptr;
        EntityType type;
    };
    std::vector<TypeNote> typeNotes;
    size_t nextTypeNote = 0;
};

// Walks entity and what it holds; 1 to stop the walk, 0 to go on.
int ScanMultipartParts(MailWalkState& walk, DwEntity& entity);

// The other readings of entity and of every entity ScanMultipartParts walks below it join the queue
// for WalkOtherReadings, in the order of that walk, and each entity's type is noted for it. Taken
// before the walk: a replaced part no longer reads as it came.
void QueueTreeReadings(MailWalkState& walk, DwEntity& entity);

// Walks the readings waiting in the state (and those they bring) for a report only: 1 to stop.
int WalkOtherReadings(MailWalkState& walk);

// A reading of the whole message besides its tree (its text read another way), queued like those of
// its entities.
void AddMessageReading(MailWalkState& walk, std::string reading, const char* why);

// One entity scanned as a leaf, its outcome applied to it: the leaf's result bits. type is the
// entity's (EntityTypeOf).
uint32_t ScanLeafEntity(MailWalkState& walk, DwEntity& entity, const EntityType& type);

// The texts made for one leaf's scan. Its memory objects borrow them: the caller keeps them until it
// has freed those objects.
struct LeafTexts {
    std::string decoded;
    // The decoded text with a cured page put back behind what came before it.
    std::string page;
};

// Decodes and scans one leaf of that type; status receives its result bits. The name of the memory
// object scanned last (empty when none was), held in the state until the next part. The objects borrow
// the entity's body and texts: neither may change until the objects are freed.
const std::string& ScanMessagePart(MailWalkState& walk, DwEntity& entity, const EntityType& type,
                                   uint32_t* status, LeafTexts& texts);

// The outcome of one leaf applied to its entity: the notice for a deleted part, the cured bytes (base64)
// for a cured one. Returns status.
uint32_t ReplaceScannedPart(MailWalkState& walk, uint32_t status, DwEntity& entity, const std::string* cured);

// A part the walk could not read as mail readers do: counted as a read error, so that the reply says
// the message was not fully examined, with a log line that names it and why.
void NotExamined(MailWalkState& walk, const std::string& part, const char* why);
