#include "unix/daemon/basesage.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "base/logwriter.h"
#include "base/messages.h"
#include "unix/config/daemonsettings.h"

namespace {

constexpr uint32_t kMessageNoRenewalDate = 218;

void ReportUnreadable(const std::string& path, int error) {
    PrintMessage("%s, %s - %s", MessageText(kMessageNoRenewalDate), path.c_str(), strerror(error));
    EndMessageLine(0);
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The update time: a decimal number after optional blanks.
bool ReadStamp(FILE* file, int64_t& stamp) {
    char text[64] = {};
    size_t n = fread(text, 1, sizeof text - 1, file);
    text[n] = '\0';
    char* end = nullptr;
    errno = 0;
    long long value = strtoll(text, &end, 10);
    if (end == text || errno == ERANGE) return false;
    stamp = value;
    return true;
}

} // namespace

int CheckBasesTimestampAt(int64_t now) {
    if (MaxBasesObsolescencePeriod == 0) return 0;
    std::string path = std::string(UpdatePath) + "/timestamp";
    const char* mask = VirusBase ? static_cast<const char*>(VirusBase->PeekFirst()) : nullptr;
    if (mask) {
        const char* slash = strrchr(mask, '/');
        if (slash) {
            std::string beside = std::string(mask, slash) + "/timestamp";
            if (Exists(beside)) path = beside;
        }
    }
    FILE* file = fopen(path.c_str(), "r");
    if (!file) {
        ReportUnreadable(path, errno);
        return 0;
    }
    int64_t stamp = 0;
    bool ok = ReadStamp(file, stamp);
    fclose(file);
    if (!ok) {
        ReportUnreadable(path, EINVAL);
        return 0;
    }
    return static_cast<int64_t>(MaxBasesObsolescencePeriod) * 3600 < now - stamp ? 1 : 0;
}

int CheckBasesTimestamp() {
    return CheckBasesTimestampAt(static_cast<int64_t>(time(nullptr)));
}
