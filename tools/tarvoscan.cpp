// tarvo-scan SOCKET FILE...: sends each file to the daemon on the Unix-domain socket as a scan
// request (its contents, not its path) over one connection, and says what the daemon answered.
// Exit status: 0 when every file was answered, 2 when something went wrong.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kWaitSeconds = 60;
constexpr uint32_t kScanCommand = 1;
constexpr uint32_t kVersionTextCommand = 4;
// Ask for the list of findings and the report lines of the request.
constexpr uint32_t kWantFindings = 0x1;
constexpr uint32_t kWantReport = 0x2;
constexpr uint32_t kMaxListLength = 100000;
constexpr uint32_t kMaxStringLength = 1u << 20;

struct ResultBit {
    uint32_t bit;
    const char* words;
};
const ResultBit kResultBits[] = {
    {0x20, "infected"},
    {0x40, "suspicious"},
    {0x80, "a modification of a known virus"},
    {0x100, "cured, deleted or moved"},
    {0x80000, "deleted or moved"},
    {0x200, "the scan took too long"},
    {0x1, "read error"},
    {0x2, "write error"},
    {0x4, "out of memory"},
    {0x8, "damaged (CRC error)"},
    {0x10, "the request could not be read"},
    {0x1000, "skipped"},
    {0x2000, "too large"},
    {0x4000, "compression ratio too high"},
    {0x20000, "rejected"},
    {0x40000, "nested too deeply"},
    {0x10000000, "a nested object was skipped"},
    {0x20000000, "could not be unpacked"},
    {0x40000000, "protected by a password"},
};
constexpr uint32_t kNothingFound = 0x100000;

class Connection {
public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection() {
        if (fd_ >= 0) close(fd_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Send(const void* data, size_t size) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = send(fd_, p, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool SendWord(uint32_t word) {
        const uint32_t wire = htonl(word);
        return Send(&wire, sizeof wire);
    }
    bool Read(void* data, size_t size) {
        char* p = static_cast<char*>(data);
        while (size > 0) {
            pollfd wait{fd_, POLLIN, 0};
            const int r = poll(&wait, 1, kWaitSeconds * 1000);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            const ssize_t n = read(fd_, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool ReadWord(uint32_t& word) {
        uint32_t wire = 0;
        if (!Read(&wire, sizeof wire)) return false;
        word = ntohl(wire);
        return true;
    }
    bool ReadString(std::string& text) {
        uint32_t length = 0;
        if (!ReadWord(length) || length > kMaxStringLength) return false;
        text.assign(length, '\0');
        if (length > 0 && !Read(&text[0], length)) return false;
        while (!text.empty() && (text.back() == '\0' || text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        return true;
    }
    bool ReadList(std::vector<std::string>& list) {
        uint32_t count = 0;
        if (!ReadWord(count) || count > kMaxListLength) return false;
        list.clear();
        for (uint32_t i = 0; i < count; ++i) {
            std::string s;
            if (!ReadString(s)) return false;
            list.push_back(s);
        }
        return true;
    }

private:
    int fd_;
};

int ConnectTo(const char* path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (strlen(path) >= sizeof address.sun_path) return -1;
    memcpy(address.sun_path, path, strlen(path) + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string Describe(uint32_t result) {
    std::string words;
    for (const ResultBit& r : kResultBits) {
        if (!(result & r.bit)) continue;
        if (!words.empty()) words += ", ";
        words += r.words;
    }
    if (words.empty()) words = (result & kNothingFound) ? "clean (nothing found)" : "nothing to report";
    return words;
}

bool Scan(Connection& daemon, const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "tarvo-scan: cannot read %s\n", path);
        return false;
    }
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const char* slash = strrchr(path, '/');
    const std::string name = slash ? slash + 1 : path;
    // A name, then the contents: the daemon scans what it receives, whatever lies on its own disk.
    const bool sent = daemon.SendWord(kScanCommand) && daemon.SendWord(kWantFindings | kWantReport) &&
                      daemon.SendWord(static_cast<uint32_t>(name.size() + 1)) &&
                      daemon.Send(name.c_str(), name.size() + 1) &&
                      daemon.SendWord(static_cast<uint32_t>(data.size())) &&
                      daemon.Send(data.data(), data.size());
    uint32_t result = 0;
    std::vector<std::string> findings, report;
    if (!sent || !daemon.ReadWord(result) || !daemon.ReadList(findings) || !daemon.ReadList(report)) {
        fprintf(stderr, "tarvo-scan: no answer for %s\n", path);
        return false;
    }
    printf("%s: %s\n", name.c_str(), Describe(result).c_str());
    if (findings.empty() && !(result & kNothingFound)) printf("    (no finding named)\n");
    for (const auto& f : findings) printf("    found: %s\n", f.c_str());
    for (const auto& line : report) printf("    log line: %s\n", line.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: tarvo-scan SOCKET FILE...\n");
        return 2;
    }
    const int fd = ConnectTo(argv[1]);
    if (fd < 0) {
        fprintf(stderr, "tarvo-scan: cannot connect to %s: %s\n", argv[1], strerror(errno));
        return 2;
    }
    Connection daemon(fd);
    std::string version;
    if (daemon.SendWord(kVersionTextCommand) && daemon.ReadString(version)) {
        printf("The daemon says about itself:\n");
        for (size_t start = 0; start <= version.size();) {
            const size_t end = version.find('\n', start);
            printf("    %s\n", version.substr(start, end - start).c_str());
            if (end == std::string::npos) break;
            start = end + 1;
        }
        printf("\n");
    } else {
        fprintf(stderr, "tarvo-scan: the daemon does not answer\n");
        return 2;
    }
    bool ok = true;
    for (int i = 2; i < argc; ++i) ok = Scan(daemon, argv[i]) && ok;
    return ok ? 0 : 2;
}
