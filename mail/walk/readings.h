// The other ways mail readers read a part. Where their reading and the tree's can differ (a field
// given twice, a header block a strict reader ends earlier, a boundary read another way, delimiter
// lines taken by their start, an encoded message, a file uuencoded into a text, lone CR line ends),
// the walk scans what they would see too, so that no reader is shown bytes that were not scanned.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/mime/mediatype.h"

class DwEntity;

// A Content-Type read from its field's text while its media type is still to be made: the text and
// the names in it.
struct PendingContentType {
    std::string_view text;
    DwMediaType::Names names;
    // Read with it: the headers hold no Content-Disposition.
    bool withoutDisposition = false;
    // Read with it: the text holds no '?' and its parameters no 'n' in either case, so it holds no
    // encoded word ("=?") and no parameter called name or filename.
    bool withoutWordsOrNames = false;
};

// An entity's type as the walk reads it (EntityTypeOf); pending set where it was read from the
// Content-Type's text. cte: the code of its Content-Transfer-Encoding, read with it (TransferEncodingOf
// reads it where a type was not read so).
struct EntityType {
    int type = 0;
    int subtype = 0;
    bool pending = false;
    PendingContentType read;
    int cte = -1;
};

// The code of the entity's Content-Transfer-Encoding (kCteNull without one).
int ReadTransferEncoding(DwEntity& entity);
// The same: the one noted in type where it was read already.
inline int TransferEncodingOf(DwEntity& entity, const EntityType& type) {
    return type.cte >= 0 ? type.cte : ReadTransferEncoding(entity);
}

struct EntityReading {
    // An entity's text: a header block, an empty line and a body.
    std::string text;
    // Whether it is read from the entity's body (a part of it, a message in it); else it stands in
    // the entity's place.
    bool inside = false;
    // Why the entity reads so, for the log.
    const char* why = "";
};

// The readings of entity besides the tree's, computed before the walk changes anything in it. With
// out null, only whether there is any.
bool OtherEntityReadings(DwEntity& entity, std::vector<EntityReading>* out);
// The same, with the entity's type (EntityTypeOf) read already.
bool OtherEntityReadings(DwEntity& entity, const EntityType& read, std::vector<EntityReading>* out);

// The why of the reading whose header block ends where strict readers end it: a message without a
// Content-Type read so is its text as it stands, which a plain scan of it sees too.
extern const char kStrictHeaderReading[];

// The message text with every lone CR made a line end (CR LF), as readers that end lines at a lone
// CR take it; false (out untouched) when the text holds no lone CR.
bool LoneCrReading(std::string_view text, std::string& out);

// The boundary parameter as a reader that splits the field at ';' and takes the text after
// "boundary=" reads it: quotes and blanks around it dropped, comments kept.
std::string PlainBoundaryReading(const std::string& fieldBody);

// The type and subtype the walk reads an entity as: its Content-Type's, text/plain without one (or
// with one below text), message/rfc822 for a part of a digest without one.
EntityType EntityTypeOf(DwEntity& entity);
// The same into read, a type as made by default (a note's, read where it lies).
void ReadEntityType(DwEntity& entity, EntityType& read);
