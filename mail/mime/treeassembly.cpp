#include "mail/mime/treeassembly.h"

#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/enums.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/message.h"

namespace {

constexpr char kCrLf[] = "\r\n";

} // namespace

void DwTreeAssembly::Run(DwEntity& entity) {
    if (entity.IsModified()) DwTreeAssembly().Assemble(entity);
}

void DwTreeAssembly::Run(DwBody& body) {
    if (body.IsModified()) DwTreeAssembly().Assemble(body);
}

template <class Node> void DwTreeAssembly::Assemble(Node& node) {
    out_.reserve(Measure(node));
    buffer_ = std::make_shared<DwTextBuffer>(std::string());
    Write(node);
    buffer_->Fill(std::move(out_));
}

size_t DwTreeAssembly::Measure(DwEntity& entity) {
    if (!entity.IsModified()) return entity.TextView().size();
    const size_t body = Measure(entity.Body());
    entity.Headers().Assemble();
    return entity.Headers().TextView().size() + 2 + body;
}

size_t DwTreeAssembly::Measure(DwBody& body) {
    if (!body.IsModified()) return body.TextView().size();
    BodyForm form;
    form.type = body.nestingCut_ ? kTypeNull : body.ContentTypeCode(&form.boundary);
    const size_t boundary = form.boundary.size();
    const int type = form.type;
    forms_.push_back(std::move(form));
    if (type == kTypeMultipart) {
        size_t size = body.Preamble().size() + boundary + 8 + body.Epilogue().size();
        for (int i = 0; i < body.PartCount(); ++i) size += Measure(body.PartAt(i)) + boundary + 6;
        return size;
    }
    if (type == kTypeMessage && body.nestedMessage_) return Measure(*body.nestedMessage_);
    return body.TextView().size();
}

void DwTreeAssembly::Write(DwEntity& entity) {
    const size_t start = out_.size();
    if (!entity.IsModified()) {
        out_.append(entity.TextView());
    } else {
        const size_t headers = out_.size();
        out_ += entity.Headers().TextView();
        MoveHeaders(entity.Headers(), headers);
        out_ += kCrLf;
        Write(entity.Body());
        entity.SetModified(false);
    }
    entity.SetTextSpan({buffer_, start, out_.size() - start});
    entity.strictNoted_ = false;
}

// The header block and its fields become the pieces of the new text they were just written as, so
// that none of them keeps the old text. The fields' texts, one after another, are the block's (as
// Parse and Assemble make them); fields that are not stay as they are.
void DwTreeAssembly::MoveHeaders(DwHeaders& headers, size_t start) {
    const size_t length = out_.size() - start;
    const std::string_view written = std::string_view(out_).substr(start);
    size_t fieldsLength = 0;
    for (int i = 0; i < headers.FieldCount(); ++i) {
        const std::string_view field = headers.FieldAt(i).TextView();
        if (written.substr(fieldsLength, field.size()) != field) break;
        fieldsLength += field.size();
    }
    if (fieldsLength == length) {
        size_t offset = start;
        for (int i = 0; i < headers.FieldCount(); ++i) {
            DwField& field = headers.FieldAt(i);
            const size_t size = field.TextView().size();
            field.MoveTextSpan({buffer_, offset, size});
            offset += size;
        }
    }
    headers.SetTextSpan({buffer_, start, length});
}

void DwTreeAssembly::Write(DwBody& body) {
    const size_t start = out_.size();
    if (!body.IsModified()) {
        out_.append(body.TextView());
        body.SetTextSpan({buffer_, start, out_.size() - start});
        return;
    }
    const BodyForm& form = forms_[nextForm_++];
    if (form.type == kTypeMultipart) {
        out_ += body.Preamble();
        for (int i = 0; i < body.PartCount(); ++i) {
            out_ += "\r\n--";
            out_ += form.boundary;
            out_ += kCrLf;
            Write(body.PartAt(i));
        }
        out_ += "\r\n--";
        out_ += form.boundary;
        out_ += "--\r\n";
        out_ += body.Epilogue();
    } else if (form.type == kTypeMessage && body.nestedMessage_) {
        Write(*body.nestedMessage_);
    } else {
        out_.append(body.TextView());
    }
    body.SetModified(false);
    body.SetTextSpan({buffer_, start, out_.size() - start});
}
