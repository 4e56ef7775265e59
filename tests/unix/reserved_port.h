// A loopback TCP port kept for a test: bound to port 0 (the system picks it), the port read back, and
// the socket kept bound but not listening until released. No other process can take the port
// meanwhile, while the daemon, which sets SO_REUSEADDR as this socket does, can still listen on it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class ReservedPort {
public:
    ReservedPort() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ >= 0 && setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~ReservedPort() { Release(); }
    ReservedPort(const ReservedPort&) = delete;
    ReservedPort& operator=(const ReservedPort&) = delete;

    // The port, or -1 when none could be had.
    int port() const { return port_; }
    // Lets the port go: from now on only what listens on it holds it.
    void Release() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    int port_ = -1;
};

} // namespace
