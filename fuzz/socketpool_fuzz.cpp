// The Socket and ProcessesPool values as the reader hands them over: the first byte picks the key,
// the rest is cut into values at newlines (at most as many as a line may have).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "unix/config/configlexer.h"
#include "unix/config/poolparams.h"
#include "unix/config/socketconfig.h"

namespace {

void CheckInetRecords() {
    for (void* p = InetSocketList->First(); p; p = InetSocketList->Next()) {
        const auto* spec = static_cast<const InetSocketSpec*>(p);
        // The host list ends with an empty text inside its size.
        if (!spec->hosts || spec->size < 2 || spec->hosts[spec->size - 1] != '\0' ||
            spec->hosts[spec->size - 2] != '\0' || spec->port < 1 || spec->port > 65535)
            Fault("a listed inet record is malformed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool pool = data[0] & 1;
    std::vector<std::string> values{pool ? "ProcessesPool" : "Socket"};
    std::string value;
    for (size_t i = 1; i < size; ++i) {
        if (data[i] != '\n') {
            value.push_back(static_cast<char>(data[i]));
            continue;
        }
        values.push_back(value);
        value.clear();
    }
    values.push_back(value);
    if (values.size() > static_cast<size_t>(kMaxConfigTokens)) return 0;
    std::vector<const char*> tokens;
    for (const std::string& v : values) tokens.push_back(v.c_str());
    const int count = static_cast<int>(tokens.size());

    if (pool) {
        const ProcessPoolParameters before = PoolParameters;
        if (ParseProcessesPool(tokens.data(), count) == 1) {
            const ProcessPoolParameters& p = PoolParameters;
            if (p.minChildren <= 0 || p.minChildren > p.maxChildren || p.idleTimeout <= 0 ||
                p.stopTimeout <= 0 || p.timerPeriod < 5 || EngineInstanceLimit > kEngineInstanceCount)
                Fault("accepted pool parameters out of range");
        } else if (memcmp(&before, &PoolParameters, sizeof before) != 0) {
            Fault("a refused pool value changed the parameters");
        }
        PoolParameters = {1, 1024, 120, 0, 1, 25};
        EngineInstanceLimit = kEngineInstanceCount;
        return 0;
    }

    UnixSocketList = std::make_unique<tvList>(1);
    InetSocketList = std::make_unique<tvList>(1);
    ParseSocketKey(tokens.data(), count);
    for (void* p = UnixSocketList->First(); p; p = UnixSocketList->Next()) {
        const auto* spec = static_cast<const UnixSocketSpec*>(p);
        const size_t length = strnlen(spec->path, sizeof spec->path);
        if (length == 0 || length > MaxUnixSocketPath() || spec->mode > 07777)
            Fault("a listed unix record is malformed");
    }
    CheckInetRecords();
    ClearInetSocketList();
    InetSocketList.reset();
    UnixSocketList.reset();
    return 0;
}
