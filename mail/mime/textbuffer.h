// The text of a parsed message, shared by the entities and bodies cut from it: however deep the
// tree, it holds one copy of the message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class DwTextBuffer {
public:
    explicit DwTextBuffer(std::string&& bytes) : bytes_(std::move(bytes)) {}
    DwTextBuffer(const DwTextBuffer&) = delete;
    DwTextBuffer& operator=(const DwTextBuffer&) = delete;

    const std::string& Bytes() const { return bytes_; }
    // The bytes of a buffer made empty for an assembly, given once it is written; nobody reads them
    // before.
    void Fill(std::string&& bytes) {
        bytes_ = std::move(bytes);
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
    std::string bytes_;
    mutable std::vector<uint32_t> dashLines_;
    mutable bool indexed_ = false;
};

// A piece of a shared text.
struct DwTextSpan {
    std::shared_ptr<DwTextBuffer> buffer;
    size_t offset = 0;
    size_t length = 0;

    std::string_view View() const { return std::string_view(buffer->Bytes()).substr(offset, length); }
    bool IsWhole() const { return offset == 0 && length == buffer->Bytes().size(); }
    DwTextSpan Sub(size_t from, size_t count) const { return {buffer, offset + from, count}; }
};
