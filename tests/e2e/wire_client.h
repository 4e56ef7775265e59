// A client of the daemon's protocol for the tests, on the client library: 32-bit big-endian words,
// strings with their length word, every read bounded.
#pragma once

// The socket headers stay: the tests build raw requests and probe the connection themselves.
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

#include "unix/client/tvclientrequest.h"
#include "unix/client/tvclientscan.h"

namespace e2e {

class WireClient {
public:
    WireClient() = default;
    ~WireClient() { Close(); }
    WireClient(const WireClient&) = delete;
    WireClient& operator=(const WireClient&) = delete;
    WireClient(WireClient&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

    bool Connect(const std::string& path) { return Open("local:" + path); }
    bool ConnectInet(uint16_t port) { return Open("inet:" + std::to_string(port) + "@127.0.0.1"); }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    int Fd() const { return fd_; }

    // Writes wait as long as the daemon takes to read.
    bool SendBytes(const void* data, size_t size) { return WriteBytes(Within(0), data, size) == 0; }
    bool SendWord(uint32_t word) { return WriteWordBE(Within(0), word) == 0; }
    bool SendWords(const std::vector<uint32_t>& words) {
        for (uint32_t w : words)
            if (!SendWord(w)) return false;
        return true;
    }
    // A name as the scan request sends it: its length (with the NUL), then the bytes and the NUL.
    bool SendName(const std::string& text) {
        return WriteDaemonString(Within(0), text.data(), text.size()) == 0;
    }

    // Exactly size bytes within seconds.
    bool ReadBytes(void* data, size_t size, int seconds = 60) {
        return ::ReadBytes(Within(Bounded(seconds)), data, size) == 0;
    }
    std::optional<uint32_t> ReadWord(int seconds = 60) {
        uint32_t word = 0;
        if (ReadWordBE(Within(Bounded(seconds)), word) != 0) return std::nullopt;
        return word;
    }
    // A string unit: length word (with the NUL), then the bytes.
    std::optional<std::string> ReadString(int seconds = 60) {
        OwnedText text;
        size_t length = 0;
        if (ReadStringBE(Within(Bounded(seconds)), text, &length) != ClientReadEnd::kDone)
            return std::nullopt;
        if (length > 0 && text.get()[length - 1] == '\0') --length;
        return std::string(text.get(), length);
    }
    std::optional<std::vector<std::string>> ReadList(int seconds = 60) {
        const std::optional<StringArray> list = ReadStringArray(Within(Bounded(seconds)), true, nullptr);
        if (!list) return std::nullopt;
        std::vector<std::string> out;
        for (int i = 0; i < list->Count(); ++i) out.emplace_back(list->Item(i));
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
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            return n == 0 || (n < 0 && errno == ECONNRESET);
        }
    }

private:
    bool Open(const std::string& address) {
        Close();
        DaemonConnection connection;
        fd_ = ConnectToDaemon(connection, address.c_str(), 60);
        return fd_ >= 0;
    }
    // The connection with a budget of `seconds` for one transfer (0: no limit).
    DaemonConnection Within(int seconds) const {
        DaemonConnection connection;
        connection.fd = fd_;
        connection.timeout = static_cast<unsigned>(seconds > 0 ? seconds : 0);
        return connection;
    }
    // A read is always bounded: 0 would mean no limit to the library.
    static int Bounded(int seconds) { return seconds > 0 ? seconds : 1; }
    static int64_t Now() {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }
    int fd_ = -1;
};

} // namespace e2e
