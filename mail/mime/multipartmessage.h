// A multipart message through the convenience layer: its parts as plain records.
#pragma once

#include "mail/mime/basicmessage.h"
#include "mail/mime/multipartbodypart.h"

class DwBodyPart;

class MultipartMessage : public BasicMessage {
public:
    MultipartMessage() = default;
    explicit MultipartMessage(DwMessage* message) : BasicMessage(message) {}

    // The base's fields, then Content-Type multipart/mixed with a new boundary.
    void SetAutomaticFields() override;

    int NumberOfParts() const;
    // Fills part from the part at index; an index outside the parts empties every field.
    void GetBodyPart(int index, MultipartBodyPart& part) const;
    // A new part made from the record, appended.
    void AddBodyPart(const MultipartBodyPart& part);
    // The part at index takes the record's fields; an index past the parts first appends empty
    // parts up to it, at most kMaxAddedParts of them: -1, nothing changed, for a negative index
    // or one further out.
    int SetBodyPart(int index, const MultipartBodyPart& part);

    static constexpr int kMaxAddedParts = 1000;

private:
    static void FillPart(DwBodyPart& bodyPart, const MultipartBodyPart& part);
};
