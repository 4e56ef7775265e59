#include "unix/client/tvconnect.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "unix/protocol/budget.h"

char ClientErrorText[kClientErrorTextSize] = "";

namespace {

const char kUnblockError[] = "error during unblock connect:";

void SetError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void SetError(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vsnprintf(ClientErrorText, sizeof ClientErrorText, fmt, args);
    va_end(args);
}

bool HasPrefix(const char* text, const char* prefix) {
    return strncasecmp(text, prefix, strlen(prefix)) == 0;
}

int SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags < 0 ? -1 : fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// Closes fd keeping errno, and marks the connection as not connected.
int Fail(DaemonConnection& connection, int fd) {
    const int saved = errno;
    if (fd >= 0) close(fd);
    errno = saved;
    connection.fd = -1;
    return -1;
}

} // namespace

int ConnectUnixSocket(DaemonConnection& connection, const char* address) {
    connection.fd = -1;
    if (strlen(address) < 8) {
        SetError("bad unix address format \"%s\"", address);
        return -1;
    }
    const char* path = address + 6;
    sockaddr_un sun{};
    sun.sun_family = AF_UNIX;
    if (strlen(path) >= sizeof sun.sun_path) {
        SetError("unix socket path too long \"%s\"", path);
        return -1;
    }
    memcpy(sun.sun_path, path, strlen(path) + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetError("error in call socket() for unix socket: %s", strerror(errno));
        return -1;
    }
    int r;
    do {
        r = connect(fd, reinterpret_cast<sockaddr*>(&sun), sizeof sun);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        SetError("error in call connect() for unix socket: %s", strerror(errno));
        return Fail(connection, fd);
    }
    if (SetNonBlocking(fd) < 0) {
        SetError("fcntl() %s: %s", kUnblockError, strerror(errno));
        return Fail(connection, fd);
    }
    connection.fd = fd;
    return fd;
}

int ConnectWithTimeout(DaemonConnection& connection, const addrinfo* address) {
    connection.fd = -1;
    const int fd = socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol);
    if (fd < 0) {
        SetError("socket() %s: %s", kUnblockError, strerror(errno));
        return -1;
    }
    if (SetNonBlocking(fd) < 0) {
        SetError("fcntl() %s: %s", kUnblockError, strerror(errno));
        return Fail(connection, fd);
    }
    if (connect(fd, address->ai_addr, address->ai_addrlen) < 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            SetError("connect() %s: %s", kUnblockError, strerror(errno));
            return Fail(connection, fd);
        }
        pollfd pfd{fd, POLLIN | POLLOUT, 0};
        const int64_t wait = connection.timeout == 0 ? -1 : static_cast<int64_t>(connection.timeout) * 1000;
        const int r = PollWithTimeout(&pfd, 1, wait);
        if (r == 0 || (r < 0 && errno == EINTR)) {
            SetError("%s %s", kUnblockError, "timeout expires");
            return Fail(connection, fd);
        }
        if (r < 0) {
            SetError("poll() %s: %s", kUnblockError, strerror(errno));
            return Fail(connection, fd);
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0) {
            SetError("getsockopt() %s: %s", kUnblockError, strerror(errno));
            return Fail(connection, fd);
        }
        if (error != 0) {
            SetError("%s: %s", kUnblockError, strerror(error));
            errno = error;
            return Fail(connection, fd);
        }
    }
    // The socket stays non-blocking: the requests wait with poll against their time-out.
    connection.fd = fd;
    return fd;
}

int ConnectInetAddress(DaemonConnection& connection, const char* address) {
    connection.fd = -1;
    const char* service = address + 5;
    const char* at = strchr(service, '@');
    if (at == nullptr) {
        SetError("bad inet address format \"%s\"", address);
        return -1;
    }
    const size_t serviceLength = static_cast<size_t>(at - service);
    if (serviceLength >= 32) {
        SetError("bad inet service format \"%.*s\"", static_cast<int>(serviceLength), service);
        return -1;
    }
    char serviceText[32];
    memcpy(serviceText, service, serviceLength);
    serviceText[serviceLength] = '\0';
    const char* host = at + 1;

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int r = getaddrinfo(host, serviceText, &hints, &list);
    if (r != 0) {
        SetError("%s", r == EAI_SYSTEM ? strerror(errno) : gai_strerror(r));
        return -1;
    }
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        if (ConnectWithTimeout(connection, a) >= 0) break;
    }
    freeaddrinfo(list);
    if (connection.fd < 0) SetError("cannot connect to inet address %s@%s", serviceText, host);
    return connection.fd;
}

int ConnectToDaemon(DaemonConnection& connection, const char* address, unsigned timeout) {
    connection.timeout = timeout;
    connection.fd = -1;
    ClientErrorText[0] = '\0';
    if (address == nullptr) address = "";
    const size_t length = strlen(address);
    if (HasPrefix(address, "local:") && length > 5) return ConnectUnixSocket(connection, address);
    if (HasPrefix(address, "inet:") && length > 5) return ConnectInetAddress(connection, address);
    SetError("unknown address format");
    return -1;
}

int ConnectToDaemonAlt(DaemonConnection& connection, const char* address, unsigned timeout) {
    return ConnectToDaemon(connection, address, timeout);
}
