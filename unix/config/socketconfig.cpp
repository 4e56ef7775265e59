#include "unix/config/socketconfig.h"

#include <sys/un.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/pathutil.h"

std::unique_ptr<tvList> UnixSocketList;
std::unique_ptr<tvList> InetSocketList;
std::unique_ptr<tvStringList> DefaultAddressList;
int32_t SocketKeyGiven = 0;

namespace {

constexpr int32_t kDefaultPort = 3000;
const char kDefaultHost[] = "127.0.0.1";

bool StartsWith(const char* text, const char* prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

// The prefixes of the current forms; a value that starts with one of them is
// never taken as a host of an older inet value.
bool HasAddressPrefix(const char* text) {
    return StartsWith(text, "local:") || StartsWith(text, "unix:") || StartsWith(text, "inet:");
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool AllDigits(const char* text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

bool DigitsThenBlank(const char* text) {
    const char* p = text;
    while (*p >= '0' && *p <= '9') ++p;
    return p != text && IsBlank(*p);
}

// A host must name something to listen on; a leading '*' marks a kept
// socket during a reload and cannot be configured.
bool ValidHost(const std::string& host) {
    return !host.empty() && host[0] != '*';
}

void SplitAtBlanks(const char* text, std::vector<std::string>& out) {
    std::string word;
    for (const char* p = text;; ++p) {
        if (*p == '\0' || IsBlank(*p)) {
            if (!word.empty()) out.push_back(word);
            word.clear();
            if (*p == '\0') break;
        } else {
            word.push_back(*p);
        }
    }
}

bool StorePath(const char* path, size_t length, UnixSocketSpec* spec) {
    if (length == 0 || length > MaxUnixSocketPath()) return false;
    memset(spec, 0, sizeof *spec);
    memcpy(spec->path, path, length);
    spec->mode = kDefaultSocketMode;
    return true;
}

void AppendUnix(const UnixSocketSpec& spec) {
    if (UnixSocketList && !FindUnixSpec(spec.path, UnixSocketList.get()))
        UnixSocketList->Add(&spec, sizeof spec);
}

// Lists the record, which then owns its host list; a duplicate is dropped.
int AppendInet(InetSocketSpec& spec) {
    if (!InetSocketList || FindInetSpec(&spec, InetSocketList.get())) {
        FreeInetSpec(&spec);
        return 1;
    }
    if (InetSocketList->Add(&spec, sizeof spec) == 0) {
        FreeInetSpec(&spec);
        return 0;
    }
    return 1;
}

bool MakeInet(int32_t port, const std::vector<std::string>& hosts, InetSocketSpec* spec) {
    std::vector<const char*> texts;
    for (const std::string& h : hosts) texts.push_back(h.c_str());
    if (texts.empty()) texts.push_back(kDefaultHost);
    spec->port = port;
    spec->hosts = MakeHostList(texts.data(), texts.size(), &spec->size);
    return spec->hosts != nullptr;
}

// "PATH" or "PATH MODE" with an octal mode.
int ParseOldUnix(const char* text) {
    const char* lastBlank = nullptr;
    for (const char* p = text; *p; ++p)
        if (IsBlank(*p)) lastBlank = p;
    uint32_t mode = kDefaultSocketMode;
    size_t pathLength = strlen(text);
    if (lastBlank) {
        const char* modeText = lastBlank + 1;
        uint32_t value = 0;
        for (const char* p = modeText; *p; ++p) {
            if (*p < '0' || *p > '7') return 0;
            value = value * 8 + static_cast<uint32_t>(*p - '0');
            if (value > 07777) return 0;
        }
        mode = value;
        pathLength = static_cast<size_t>(lastBlank - text);
        while (pathLength > 0 && IsBlank(text[pathLength - 1])) --pathLength;
    }
    UnixSocketSpec spec;
    if (!StorePath(text, pathLength, &spec)) return 0;
    spec.mode = mode;
    AppendUnix(spec);
    return 1;
}

} // namespace

size_t MaxUnixSocketPath() {
    return sizeof(sockaddr_un::sun_path) - 1;
}

int StartsWithSlash(const char* text) {
    return text && text[0] == '/';
}

int ParseLocalAddress(const char* text, UnixSocketSpec* spec) {
    const char* path;
    if (StartsWith(text, "local:"))
        path = text + 6;
    else if (StartsWith(text, "unix:"))
        path = text + 5;
    else
        return 0;
    return StorePath(path, strlen(path), spec) ? 1 : 0;
}

int ParseInetAddress(const char* text, InetSocketSpec* spec) {
    if (!StartsWith(text, "inet:")) return 0;
    const char* at = strchr(text + 5, '@');
    if (!at) return 0;
    std::string portText(text + 5, at);
    char* end = nullptr;
    errno = 0;
    long port = strtol(portText.c_str(), &end, 10);
    if (end == portText.c_str() || errno == ERANGE || port < 1 || port > 65535) return 0;
    std::string host = at + 1;
    if (!ValidHost(host)) return 0;
    memset(spec, 0, sizeof *spec);
    return MakeInet(static_cast<int32_t>(port), {host}, spec) ? 1 : 0;
}

int ParseOldSocketSyntax(const char* const* entries, int count) {
    if (count < 1) return 0;
    const char* first = entries[0];
    if (StartsWithSlash(first)) return ParseOldUnix(first);

    // "PORT", or "PORT HOST..." split at blanks, then further values that
    // are hosts.
    std::string portText = first;
    std::vector<std::string> hosts;
    if (DigitsThenBlank(first)) {
        size_t digits = strspn(first, "0123456789");
        portText.assign(first, digits);
        SplitAtBlanks(first + digits, hosts);
    }
    int used = 1;
    for (; used < count; ++used) {
        const char* next = entries[used];
        if (StartsWithSlash(next) || AllDigits(next) || DigitsThenBlank(next) || HasAddressPrefix(next))
            break;
        size_t before = hosts.size();
        SplitAtBlanks(next, hosts);
        if (hosts.size() == before) return 0; // an empty host
    }
    int32_t port = ParseNumber(portText.c_str(), 0);
    if (portText.empty() || port < 1 || port > 65535) return 0;
    for (const std::string& h : hosts)
        if (!ValidHost(h)) return 0;
    InetSocketSpec spec = {};
    if (!MakeInet(port, hosts, &spec)) return 0;
    return AppendInet(spec) ? used : 0;
}

int FindUnixSpec(const char* path, tvList* list) {
    if (!list) return 0;
    int found = 0;
    list->SavePos();
    for (void* p = list->First(); p; p = list->Next())
        if (strcmp(static_cast<const UnixSocketSpec*>(p)->path, path) == 0) {
            found = 1;
            break;
        }
    list->RestorePos();
    return found;
}

int FindInetSpec(const InetSocketSpec* spec, tvList* list) {
    if (!list) return 0;
    int found = 0;
    list->SavePos();
    for (void* p = list->First(); p; p = list->Next()) {
        const InetSocketSpec* known = static_cast<const InetSocketSpec*>(p);
        if (known->port == spec->port && known->hosts && spec->hosts &&
            strcmp(known->hosts, spec->hosts) == 0) {
            found = 1;
            break;
        }
    }
    list->RestorePos();
    return found;
}

int32_t ParseSocketKey(const char* const* tokens, int count) {
    SocketKeyGiven = 1;
    int i = 1;
    while (i < count) {
        const char* value = tokens[i];
        if (StartsWith(value, "local:") || StartsWith(value, "unix:")) {
            UnixSocketSpec spec;
            if (!ParseLocalAddress(value, &spec)) return 0;
            AppendUnix(spec);
            ++i;
            continue;
        }
        if (StartsWith(value, "inet:") && strchr(value, '@')) {
            InetSocketSpec spec;
            if (!ParseInetAddress(value, &spec) || !AppendInet(spec)) return 0;
            ++i;
            continue;
        }
        int used = ParseOldSocketSyntax(tokens + i, count - i);
        if (used == 0) return 0;
        i += used;
    }
    return count > 1 ? 1 : 0;
}

char* MakeHostList(const char* const* hosts, size_t count, uint32_t* size) {
    size_t total = 1;
    for (size_t i = 0; i < count; ++i) total += strlen(hosts[i]) + 1;
    char* list = static_cast<char*>(calloc(total, 1));
    if (!list) return nullptr;
    char* p = list;
    for (size_t i = 0; i < count; ++i) {
        size_t n = strlen(hosts[i]);
        memcpy(p, hosts[i], n);
        p += n + 1;
    }
    if (size) *size = static_cast<uint32_t>(total);
    return list;
}

void FreeInetSpec(InetSocketSpec* spec) {
    free(spec->hosts);
    spec->hosts = nullptr;
    spec->size = 0;
}

void ClearInetSocketList() {
    if (!InetSocketList) return;
    for (void* p = InetSocketList->First(); p; p = InetSocketList->Next())
        FreeInetSpec(static_cast<InetSocketSpec*>(p));
    InetSocketList->Clear();
}

int AddDefaultSocket() {
    if (SocketKeyGiven || !UnixSocketList || !InetSocketList || !UnixSocketList->IsEmpty() ||
        !InetSocketList->IsEmpty())
        return 0;
    if (DefaultAddressList) DefaultAddressList->AddString(kDefaultHost);
    InetSocketSpec spec = {};
    if (!MakeInet(kDefaultPort, {}, &spec)) return 0;
    return AppendInet(spec);
}

bool ConfiguredSocketsUnusable() {
    return SocketKeyGiven && UnixSocketList && InetSocketList && UnixSocketList->IsEmpty() &&
           InetSocketList->IsEmpty();
}
