#include "sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bench {

namespace {

bool UnixAddress(const std::string& path, sockaddr_un* address) {
    memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path) return false;
    memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

int ListenUnix(const std::string& path) {
    sockaddr_un address;
    if (!UnixAddress(path, &address)) return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 128) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int ListenTcp(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = LoopbackAddress(port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd, 128) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int StartConnect(const Address& to, bool* pending) {
    *pending = false;
    const bool tcp = to.port != 0;
    const int fd = socket(tcp ? AF_INET : AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int r;
    if (tcp) {
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const sockaddr_in address = LoopbackAddress(to.port);
        r = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } else {
        sockaddr_un address;
        if (!UnixAddress(to.path, &address)) {
            close(fd);
            errno = ENAMETOOLONG;
            return -1;
        }
        r = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    if (r == 0) return fd;
    if (errno == EINPROGRESS) {
        *pending = true;
        return fd;
    }
    const int saved = errno;
    close(fd);
    errno = saved;
    return -1;
}

int ConnectError(int fd) {
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

} // namespace bench
