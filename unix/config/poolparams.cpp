#include "unix/config/poolparams.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

ProcessPoolParameters PoolParameters = {1, 1024, 120, 0, 1, 25};
int32_t PoolAutoFlag = 0;
PoolReportCopies PoolReport = {1, 1024, 1024, 121};
uint32_t EngineInstanceLimit = kEngineInstanceCount;

namespace {

// A decimal integer after optional blanks; what follows the digits is not
// read. False when there are no digits or the value does not fit 32 bits.
bool ReadInteger(const std::string& text, int32_t& out) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    long value = strtol(start, &end, 10);
    if (end == start || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return false;
    out = static_cast<int32_t>(value);
    return true;
}

} // namespace

void SplitNameValue(const std::string& text, std::string& name, std::string& value, const char* delimiters) {
    size_t first = text.find_first_of(delimiters);
    if (first == std::string::npos) {
        name = text;
        return;
    }
    name = text.substr(0, first);
    value = text.substr(text.find_last_of(delimiters) + 1);
}

int32_t ParseProcessesPool(const char* const* tokens, int count) {
    if (count < 2) return 0;
    ProcessPoolParameters work = {1, 1024, 120, 0, 1, 0};

    std::string size = tokens[1];
    if (size == "auto") {
        PoolAutoFlag = 1;
    } else {
        std::string minText, maxText;
        SplitNameValue(size, minText, maxText, "-");
        if (!ReadInteger(minText, work.minChildren)) return 0;
        if (!maxText.empty() && !ReadInteger(maxText, work.maxChildren)) return 0;
    }
    if (work.minChildren <= 0 || work.maxChildren <= 0 || work.minChildren > work.maxChildren) return 0;

    for (int i = 2; i < count; ++i) {
        std::string name, value;
        SplitNameValue(tokens[i], name, value, "=");
        if (name == "timeout" || name == "stop_timeout") {
            int32_t seconds = 0;
            if (!ReadInteger(value, seconds) || seconds <= 0) return 0;
            (name == "timeout" ? work.idleTimeout : work.stopTimeout) = seconds;
        } else if (name == "stat") {
            work.statistics = value == "yes" ? 1 : 0;
        } else {
            return 0;
        }
    }
    work.timerPeriod = work.idleTimeout / 5 + 1;
    if (work.timerPeriod < 5) work.timerPeriod = 5;

    PoolParameters = work;
    // Only as many engine instances as exist can be used.
    EngineInstanceLimit = static_cast<uint32_t>(work.maxChildren) < kEngineInstanceCount
                              ? static_cast<uint32_t>(work.maxChildren)
                              : kEngineInstanceCount;
    PoolReport.minChildren = work.minChildren;
    PoolReport.maxChildren = work.maxChildren;
    PoolReport.maxChildrenCopy = work.maxChildren;
    int64_t idlePlusStop = static_cast<int64_t>(work.idleTimeout) + work.stopTimeout;
    PoolReport.idlePlusStop = idlePlusStop > INT32_MAX ? INT32_MAX : static_cast<int32_t>(idlePlusStop);
    return 1;
}
