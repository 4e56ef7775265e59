#include "unix/client/tvclientscan.h"

#include <cstring>

#include "unix/client/tvclientrequest.h"

const char ClientErrorEmptyObject[] = "empty object";

namespace {

// Result bits that decide what follows the lists: the object was cured, deleted or moved; it was
// deleted or moved.
constexpr uint32_t kResultTreated = 0x100;
constexpr uint32_t kResultRemoved = 0x80000;

// The bytes of a cured object that the daemon sends back: read and dropped, so that the
// connection stays in step for the next request.
int SkipBytes(const DaemonConnection& connection, uint32_t size) {
    char buffer[16384];
    while (size > 0) {
        const size_t piece = size < sizeof buffer ? size : sizeof buffer;
        if (ReadBytes(connection, buffer, piece) != 0) return -1;
        size -= static_cast<uint32_t>(piece);
    }
    return 0;
}

} // namespace

int WriteDaemonString(const DaemonConnection& connection, const char* text, size_t length) {
    if (length >= UINT32_MAX) return -1;
    if (WriteWordBE(connection, static_cast<uint32_t>(length + 1)) != 0) return -1;
    if (length > 0 && WriteBytes(connection, text, length) != 0) return -1;
    const char nul = '\0';
    return WriteBytes(connection, &nul, 1);
}

std::optional<ScanAnswer> ScanContents(const DaemonConnection& connection, const char* name, const void* data,
                                       size_t size, uint32_t want, const char** error) {
    if (error != nullptr) *error = nullptr;
    if (size == 0) return ClientFailed<ScanAnswer>(error, ClientErrorEmptyObject);
    if (size > UINT32_MAX) return ClientFailed<ScanAnswer>(error, ClientErrorCannotConnection);
    want &= kScanWantFound | kScanWantReport;
    if (name == nullptr) name = "";
    if (WriteWordBE(connection, kCommandScan) != 0 || WriteWordBE(connection, want) != 0 ||
        WriteDaemonString(connection, name, strlen(name)) != 0 ||
        WriteWordBE(connection, static_cast<uint32_t>(size)) != 0 || WriteBytes(connection, data, size) != 0)
        return ClientFailed<ScanAnswer>(error, ClientErrorCannotConnection);
    ScanAnswer answer;
    if (ReadWordBE(connection, answer.result) != 0)
        return ClientFailed<ScanAnswer>(error, ClientErrorNoResponse);
    const auto readList = [&](uint32_t bit, StringArray& list) {
        if (!(want & bit)) return true;
        std::optional<StringArray> got = ReadStringArray(connection, true, error);
        if (got) list = std::move(*got);
        return got.has_value();
    };
    if (!readList(kScanWantFound, answer.found) || !readList(kScanWantReport, answer.report))
        return std::nullopt;
    if (answer.result & kResultTreated) {
        // A removed object is answered with the word 0, a cured one with its new contents.
        uint32_t length = 0;
        if (ReadWordBE(connection, length) != 0)
            return ClientFailed<ScanAnswer>(error, ClientErrorNoResponse);
        if (!(answer.result & kResultRemoved) && SkipBytes(connection, length) != 0)
            return ClientFailed<ScanAnswer>(error, ClientErrorNoResponse);
    }
    return answer;
}

std::optional<OwnedText> QueryVersionText(const DaemonConnection& connection, const char** error) {
    if (error != nullptr) *error = nullptr;
    if (WriteWordBE(connection, kCommandVersionText) != 0)
        return ClientFailed<OwnedText>(error, ClientErrorCannotConnection);
    OwnedText text;
    size_t length = 0;
    const ClientReadEnd end = ReadStringBE(connection, text, &length);
    if (end != ClientReadEnd::kDone) return ClientFailed<OwnedText>(error, ClientReadError(end));
    return text; // the NUL it was sent with ends it
}
