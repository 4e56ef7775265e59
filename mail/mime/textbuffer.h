// The text of a parsed message, shared by the entities and bodies cut from it: however deep the
// tree, it holds one copy of the message, or none where it borrows bytes that its caller holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Bytes that a text buffer borrows instead of owning: they must outlive the buffer and every piece
// cut from it, and stay unchanged while it lives.
struct DwBorrowedText {
    std::string_view bytes;
};

class DwTextBuffer {
public:
    explicit DwTextBuffer(std::string&& bytes) : own_(std::move(bytes)), bytes_(own_) {}
    explicit DwTextBuffer(DwBorrowedText borrowed) : bytes_(borrowed.bytes), borrowed_(true) {}
    DwTextBuffer(const DwTextBuffer&) = delete;
    DwTextBuffer& operator=(const DwTextBuffer&) = delete;

    std::string_view Bytes() const { return bytes_; }
    // The buffer's own string, or null while its bytes are borrowed.
    const std::string* OwnBytes() const { return borrowed_ ? nullptr : &own_; }
    // The bytes of a buffer made empty for an assembly, given once it is written; nobody reads them
    // before. The buffer owns them from then on.
    void Fill(std::string&& bytes) {
        own_ = std::move(bytes);
        bytes_ = own_;
        borrowed_ = false;
        dashLines_.clear();
        indexed_ = false;
    }

    // Every position where "--" begins a line after a LF, in order: the only places a delimiter of
    // any multipart body cut from this text can start. Found once for the whole text, so that the
    // bodies of a deeply nested message do not each read all that lies below them. Null for a text
    // whose positions do not fit the index.
    const std::vector<uint32_t>* DashLines() const;
    // Drops the index (it is made again when asked for).
    void DropDashLines() const {
        std::vector<uint32_t>().swap(dashLines_);
        indexed_ = false;
    }

private:
    std::string own_;
    // own_, or the borrowed bytes.
    std::string_view bytes_;
    bool borrowed_ = false;
    mutable std::vector<uint32_t> dashLines_;
    mutable bool indexed_ = false;
};

// A piece of a shared text.
struct DwTextSpan {
    std::shared_ptr<DwTextBuffer> buffer;
    size_t offset = 0;
    size_t length = 0;

    // A piece lies inside its buffer's bytes: every node reads its text through here, without a
    // bounds check of its own.
    std::string_view View() const { return std::string_view(buffer->Bytes().data() + offset, length); }
    bool IsWhole() const { return offset == 0 && length == buffer->Bytes().size(); }
    DwTextSpan Sub(size_t from, size_t count) const { return {buffer, offset + from, count}; }
};
