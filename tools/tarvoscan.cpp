// tarvo-scan: the command-line client of the daemon. Sends each file's contents (not its path) as a
// scan request over one connection and says what the daemon answered; the exit status sums it up.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "unix/client/tvclientrequest.h"
#include "unix/client/tvclientscan.h"
#include "unix/client/tvconnect.h"

namespace {

constexpr int kClean = 0, kFound = 1, kError = 2;

// Seconds that one transfer (one request's data, one reply) may take.
constexpr unsigned kTransferSeconds = 120;

const char kShortUsage[] = "usage: tarvo-scan [-v] SOCKET FILE...  (tarvo-scan --help tells more)\n";
const char kUsage[] =
    "usage: tarvo-scan [-v] SOCKET FILE...\n"
    "       tarvo-scan --help\n"
    "Sends the contents of each FILE to the tarvod listening on SOCKET and prints what it answered.\n"
    "SOCKET is the path of a Unix-domain socket (the Socket of tarvo32.ini; the installed default is\n"
    "/var/tarvo/run/tarvod.sock, open to root and the daemon's group), local:PATH or inet:PORT@HOST.\n"
    "\n"
    "  -v, --verbose  also print what the daemon says about itself and the report lines of each scan\n"
    "  -h, --help     print this text\n"
    "\n"
    "Exit status: 0 when every file was scanned whole and nothing was found; 1 when something was found\n"
    "in at least one file; 2 otherwise: a file that could not be read, sent or scanned whole (skipped,\n"
    "too large, a read error, a time-out), a daemon that cannot be reached or does not answer, bad usage.\n";

struct ResultBit {
    uint32_t bit;
    const char* words;
};
// Findings: the object holds something.
const ResultBit kFoundBits[] = {
    {0x20, "infected"},    {0x40, "suspicious"},    {0x80, "a modification of a known virus"},
    {0x20000, "rejected"}, {0x400000, "adware"},    {0x800000, "a dialer"},
    {0x1000000, "a joke"}, {0x2000000, "riskware"}, {0x4000000, "a hacking tool"},
};
// Something was not looked at, or could not be: never clean.
const ResultBit kIncompleteBits[] = {
    {0x1, "read error"},
    {0x2, "write error"},
    {0x4, "out of memory"},
    {0x8, "damaged (CRC error)"},
    {0x10, "the request could not be read"},
    {0x200, "the scan took too long"},
    {0x1000, "skipped"},
    {0x2000, "too large"},
    {0x4000, "compression ratio too high"},
    {0x40000, "nested too deeply"},
    {0x10000000, "a nested object was skipped"},
    {0x20000000, "could not be unpacked"},
    {0x40000000, "protected by a password"},
};
constexpr uint32_t kNothingFound = 0x100000;
constexpr uint32_t kTreated = 0x100;

void AddWords(std::string& out, uint32_t result, const ResultBit* bits, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (!(result & bits[i].bit)) continue;
        if (!out.empty()) out += ", ";
        out += bits[i].words;
    }
}

// What a result word says, and the exit status it counts as.
int Judge(uint32_t result, std::string& words) {
    words.clear();
    AddWords(words, result, kFoundBits, sizeof kFoundBits / sizeof kFoundBits[0]);
    const bool found = !words.empty();
    if (result & kTreated) words += words.empty() ? "cured, deleted or moved" : ", cured, deleted or moved";
    std::string incomplete;
    AddWords(incomplete, result, kIncompleteBits, sizeof kIncompleteBits / sizeof kIncompleteBits[0]);
    if (!incomplete.empty())
        words += (words.empty() ? "not scanned whole: " : "; not scanned whole: ") + incomplete;
    if (found) return kFound;
    if (!incomplete.empty()) return kError;
    if (result & kNothingFound) {
        words = "clean";
        return kClean;
    }
    char text[64];
    snprintf(text, sizeof text, "no verdict (result 0x%x)", result);
    words = text;
    return kError;
}

bool ReadWholeFile(const char* path, std::string& data) {
    FILE* in = fopen(path, "rb");
    if (in == nullptr) return false;
    struct stat st {};
    if (fstat(fileno(in), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(in);
        errno = EISDIR;
        return false;
    }
    data.clear();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) data.append(buffer, n);
    const bool ok = !ferror(in);
    fclose(in);
    return ok;
}

// Each item on a line of its own, without the line end that report lines come with.
void PrintList(const StringArray& list, const char* label) {
    for (int i = 0; i < list.Count(); ++i) {
        const char* item = list.Item(i) ? list.Item(i) : "";
        size_t length = strlen(item);
        while (length > 0 && (item[length - 1] == '\n' || item[length - 1] == '\r')) --length;
        printf("    %s%.*s\n", label, static_cast<int>(length), item);
    }
}

// Scans one file; the exit status it counts as. Sets `lost` when the connection is out of step or
// gone (the daemon closes it after some failed requests).
int ScanOne(const DaemonConnection& daemon, const char* path, bool verbose, bool& lost) {
    std::string data;
    if (!ReadWholeFile(path, data)) {
        fprintf(stderr, "tarvo-scan: cannot read %s: %s\n", path, strerror(errno));
        return kError;
    }
    if (data.empty()) {
        // Nothing to look at; and the daemon would take an empty request as a path on its side.
        printf("%s: clean (empty)\n", path);
        return kClean;
    }
    const char* slash = strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    const char* error = nullptr;
    const std::optional<ScanAnswer> answer =
        ScanContents(daemon, name, data.data(), data.size(), kScanWantFound | kScanWantReport, &error);
    if (!answer) {
        fprintf(stderr, "tarvo-scan: no answer for %s: %s\n", path, error ? error : "");
        lost = true;
        return kError;
    }
    std::string words;
    const int status = Judge(answer->result, words);
    printf("%s: %s\n", path, words.c_str());
    PrintList(answer->found, "found: ");
    if (verbose) PrintList(answer->report, "log line: ");
    return status;
}

} // namespace

int main(int argc, char** argv) {
    bool verbose = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-' && argv[first][1] != '\0'; ++first) {
        const std::string option = argv[first];
        if (option == "--") {
            ++first;
            break;
        }
        if (option == "-h" || option == "--help") {
            fputs(kUsage, stdout);
            return kClean;
        }
        if (option == "-v" || option == "--verbose") {
            verbose = true;
            continue;
        }
        fprintf(stderr, "tarvo-scan: unknown option %s\n%s", argv[first], kShortUsage);
        return kError;
    }
    if (argc - first < 2) {
        fputs(kShortUsage, stderr);
        return kError;
    }
    std::string address = argv[first];
    if (address.compare(0, 6, "local:") != 0 && address.compare(0, 5, "inet:") != 0)
        address = "local:" + address;
    DaemonConnection daemon;
    if (ConnectToDaemon(daemon, address.c_str(), kTransferSeconds) < 0) {
        fprintf(stderr, "tarvo-scan: cannot connect to %s: %s\n", argv[first], ClientErrorText);
        return kError;
    }
    if (verbose) {
        const char* error = nullptr;
        const std::optional<OwnedText> about = QueryVersionText(daemon, &error);
        if (!about) {
            fprintf(stderr, "tarvo-scan: the daemon does not answer: %s\n", error ? error : "");
            close(daemon.fd);
            return kError;
        }
        printf("The daemon says about itself:\n");
        for (const char* line = about->get(); line != nullptr && *line != '\0';) {
            const char* end = strchr(line, '\n');
            printf("    %.*s\n", static_cast<int>(end ? end - line : strlen(line)), line);
            line = end ? end + 1 : nullptr;
        }
        printf("\n");
    }
    int status = kClean;
    for (int i = first + 1; i < argc; ++i) {
        if (daemon.fd < 0 && ConnectToDaemon(daemon, address.c_str(), kTransferSeconds) < 0) {
            fprintf(stderr, "tarvo-scan: %s not scanned: cannot connect again: %s\n", argv[i],
                    ClientErrorText);
            if (status == kClean) status = kError;
            continue;
        }
        bool lost = false;
        const int one = ScanOne(daemon, argv[i], verbose, lost);
        if (one == kFound) status = kFound;
        if (one == kError && status == kClean) status = kError;
        if (lost) {
            close(daemon.fd);
            daemon.fd = -1;
        }
    }
    if (daemon.fd >= 0) close(daemon.fd);
    return status;
}
