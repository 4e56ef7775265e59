// Any bytes as a mail message: parsed into the tree, every field body rebuilt, assembled, and the
// result parsed and assembled again. Nothing may crash, leak or take more than linear time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/disposition.h"
#include "mail/mime/field.h"
#include "mail/mime/fieldbody.h"
#include "mail/mime/headers.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"

namespace {

// Reads what the mail walk reads and marks every field body, so that assembling rebuilds them all.
void Touch(DwEntity& entity) {
    DwHeaders& headers = entity.Headers();
    if (DwMediaType* type = headers.FindContentType()) {
        type->Boundary();
        type->Filename();
    }
    if (DwMechanism* mechanism = headers.FindContentTransferEncoding()) mechanism->AsEnum();
    if (DwDispositionType* disposition = headers.FindContentDisposition()) disposition->Filename();
    for (int i = 0; i < headers.FieldCount(); ++i) {
        if (DwFieldBody* body = headers.FieldAt(i).FieldBody()) body->MarkModified();
    }
    DwBody& body = entity.Body();
    if (DwMessage* nested = body.NestedMessage()) Touch(*nested);
    for (int i = 0; i < body.PartCount(); ++i) Touch(body.PartAt(i));
}

std::string ParseAndAssemble(const std::string& text, bool touch) {
    std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
    message->Parse();
    if (touch) Touch(*message);
    message->Assemble();
    return message->Text();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    ParseAndAssemble(ParseAndAssemble(input, false), true);
    return 0;
}
