// A client of the daemon's protocol for the tests: 32-bit big-endian words, strings with their
// length word, every read bounded.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

class WireClient {
public:
    WireClient() = default;
    ~WireClient() { Close(); }
    WireClient(const WireClient&) = delete;
    WireClient& operator=(const WireClient&) = delete;
    WireClient(WireClient&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

    bool Connect(const std::string& path) {
        Close();
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return false;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) return false;
        memcpy(address.sun_path, path.c_str(), path.size() + 1);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            Close();
            return false;
        }
        return true;
    }
    bool ConnectInet(uint16_t port) {
        Close();
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            Close();
            return false;
        }
        return true;
    }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    int Fd() const { return fd_; }

    bool SendBytes(const void* data, size_t size) {
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
        return SendBytes(&wire, sizeof wire);
    }
    bool SendWords(const std::vector<uint32_t>& words) {
        for (uint32_t w : words)
            if (!SendWord(w)) return false;
        return true;
    }
    // A name as the scan request sends it: its length (with the NUL), then the bytes and the NUL.
    bool SendName(const std::string& text) {
        return SendWord(static_cast<uint32_t>(text.size() + 1)) && SendBytes(text.c_str(), text.size() + 1);
    }

    // Exactly size bytes within seconds.
    bool ReadBytes(void* data, size_t size, int seconds = 60) {
        char* p = static_cast<char*>(data);
        const int64_t end = Now() + static_cast<int64_t>(seconds) * 1000;
        while (size > 0) {
            const int64_t left = end - Now();
            if (left <= 0) return false;
            pollfd wait{fd_, POLLIN, 0};
            const int r = poll(&wait, 1, static_cast<int>(left));
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
    std::optional<uint32_t> ReadWord(int seconds = 60) {
        uint32_t wire = 0;
        if (!ReadBytes(&wire, sizeof wire, seconds)) return std::nullopt;
        return ntohl(wire);
    }
    // A string unit: length word (with the NUL), then the bytes.
    std::optional<std::string> ReadString(int seconds = 60) {
        const auto length = ReadWord(seconds);
        if (!length || *length > (1u << 24)) return std::nullopt;
        std::string text(*length, '\0');
        if (*length > 0 && !ReadBytes(&text[0], *length, seconds)) return std::nullopt;
        if (!text.empty() && text.back() == '\0') text.pop_back();
        return text;
    }
    std::optional<std::vector<std::string>> ReadList(int seconds = 60) {
        const auto count = ReadWord(seconds);
        if (!count || *count > 100000) return std::nullopt;
        std::vector<std::string> out;
        for (uint32_t i = 0; i < *count; ++i) {
            auto s = ReadString(seconds);
            if (!s) return std::nullopt;
            out.push_back(*s);
        }
        return out;
    }
    // True when the daemon closed the connection (within seconds) without sending more.
    bool ClosedByPeer(int seconds = 30) {
        char c;
        const int64_t end = Now() + static_cast<int64_t>(seconds) * 1000;
        for (;;) {
            const int64_t left = end - Now();
            if (left <= 0) return false;
            pollfd wait{fd_, POLLIN, 0};
            const int r = poll(&wait, 1, static_cast<int>(left));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            const ssize_t n = read(fd_, &c, 1);
            if (n < 0 && errno == EINTR) continue;
            return n == 0 || (n < 0 && errno == ECONNRESET);
        }
    }

private:
    static int64_t Now() {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }
    int fd_ = -1;
};

} // namespace e2e
