#include "mail/mime/multipartmessage.h"

#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/contentfile.h"
#include "mail/mime/disposition.h"
#include "mail/mime/enums.h"
#include "mail/mime/headers.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"

namespace {

// The named field of the part gets this body text, parsed.
void SetPartField(DwBodyPart& bodyPart, const char* name, const std::string& text) {
    DwFieldBody* body = bodyPart.Headers().FieldBodyFor(name);
    if (!body) return;
    body->SetText(text);
    body->Parse();
}

} // namespace

void MultipartMessage::SetAutomaticFields() {
    BasicMessage::SetAutomaticFields();
    DwMediaType& type = Message().Headers().ContentType();
    type.SetType(kTypeMultipart);
    type.SetSubtype(kSubtypeMixed);
    type.CreateBoundary(0);
}

int MultipartMessage::NumberOfParts() const {
    return Message().Body().PartCount();
}

void MultipartMessage::GetBodyPart(int index, MultipartBodyPart& part) const {
    part.Clear();
    if (index < 0 || index >= NumberOfParts()) return;
    DwBodyPart& bodyPart = Message().Body().PartAt(index);
    DwHeaders& headers = bodyPart.Headers();
    if (DwMediaType* type = headers.FindContentType()) {
        part.SetTypeStr(type->TypeStr());
        part.SetSubtypeStr(type->SubtypeStr());
        part.SetCharset(type->Charset());
        part.SetFileName(type->Filename());
    } else {
        part.SetTypeStr("Text");
        part.SetSubtypeStr("Plain");
    }
    if (DwContentFileType* file = headers.FindXContentFile()) part.SetXContentFileName(file->Filename());
    DwMechanism* cte = headers.FindContentTransferEncoding();
    part.SetCteStr(cte ? cte->Text() : "7bit");
    if (DwFieldBody* description = headers.FindFieldBody("Content-Description"))
        part.SetContentDescription(description->Text());
    if (DwDispositionType* disposition = headers.FindContentDisposition()) {
        part.SetContentDisposition(disposition->Text());
        part.SetFileName(disposition->Filename());
    }
    part.SetBody(bodyPart.Body().Text());
}

void MultipartMessage::FillPart(DwBodyPart& bodyPart, const MultipartBodyPart& part) {
    if (!part.TypeStr().empty() && !part.SubtypeStr().empty()) {
        DwMediaType& type = bodyPart.Headers().ContentType();
        type.SetTypeStr(part.TypeStr());
        type.SetSubtypeStr(part.SubtypeStr());
    }
    if (!part.CteStr().empty()) SetPartField(bodyPart, "Content-Transfer-Encoding", part.CteStr());
    if (!part.ContentDescription().empty())
        SetPartField(bodyPart, "Content-Description", part.ContentDescription());
    if (!part.ContentDisposition().empty())
        SetPartField(bodyPart, "Content-Disposition", part.ContentDisposition());
    bodyPart.Body().SetText(part.Body());
}

void MultipartMessage::AddBodyPart(const MultipartBodyPart& part) {
    DwBodyPart* bodyPart = DwBodyPart::NewBodyPart(std::string(), nullptr);
    if (!bodyPart) return;
    FillPart(*bodyPart, part);
    Message().Body().AppendPart(bodyPart);
}

int MultipartMessage::SetBodyPart(int index, const MultipartBodyPart& part) {
    DwBody& body = Message().Body();
    if (index < 0 || index - body.PartCount() >= kMaxAddedParts) return -1;
    while (body.PartCount() <= index) {
        DwBodyPart* empty = DwBodyPart::NewBodyPart(std::string(), nullptr);
        if (!empty) return -1;
        const int before = body.PartCount();
        body.AppendPart(empty);
        if (body.PartCount() == before) return -1; // the part array could not grow
    }
    FillPart(body.PartAt(index), part);
    return 0;
}
