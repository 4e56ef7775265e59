#include "unix/pool/socketbase.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/pathutil.h"

SocketBase::SocketBase(uint32_t type) : type_(type) {
    if (type_ == kSocketInet)
        address_.inet.sin_family = AF_INET;
    else
        address_.local.sun_family = AF_UNIX;
}

SocketBase::~SocketBase() {
    CloseForDestruction();
    Reset();
}

void SocketBase::CloseForDestruction() {
    if (fd_ < 0) return;
    const bool onlyClose = type_ == kSocketInet && address_.inet.sin_port == 0;
    if (!onlyClose) shutdown(fd_, SHUT_RDWR);
    close(fd_);
    fd_ = -1;
}

void SocketBase::ClearError() {
    errno = 0;
    errorCode_ = 0;
    errorText_[0] = '\0';
}

int SocketBase::SetError(int code, const char* text) {
    if (code == -1) code = errno;
    if (text == nullptr) text = strerror(code);
    errorCode_ = code;
    snprintf(errorText_, sizeof errorText_, "%s", text);
    return code;
}

void SocketBase::Reset() {
    mark_ = 0;
    ready_ = 0;
    fd_ = -1;
    memset(&address_, 0, sizeof address_);
    ClearError();
}

int SocketBase::GetFd() const {
    return fd_;
}

void SocketBase::Attach(int fd, const sockaddr* address, socklen_t length) {
    fd_ = fd;
    memset(&address_, 0, sizeof address_);
    if (address != nullptr && length > 0) {
        const size_t size = length < sizeof address_ ? length : sizeof address_;
        memcpy(&address_, address, size);
    }
}

void SocketBase::SetFd(int fd) {
    fd_ = fd;
}

int SocketBase::Create() {
    ClearError();
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (type_ == kSocketInet)
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    else
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd_ < 0 ? SetError(-1, nullptr) : 0;
}

int SocketBase::Bind(const sockaddr_in* inetAddress) {
    ClearError();
    if (fd_ < 0) return SetError(EBADF, nullptr);
    int result;
    if (type_ == kSocketInet) {
        if (inetAddress != nullptr) address_.inet = *inetAddress;
        result = bind(fd_, &address_.any, sizeof(sockaddr_in));
    } else {
        address_.local.sun_family = AF_UNIX;
        const socklen_t length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + strlen(address_.local.sun_path) + 1);
        result = bind(fd_, &address_.any, length);
    }
    return result != 0 ? SetError(-1, nullptr) : 0;
}

int SocketBase::Listen(int backlog) {
    ClearError();
    if (fd_ < 0) return SetError(EBADF, nullptr);
    if (backlog < 0) backlog = 1;
    return listen(fd_, backlog) != 0 ? SetError(-1, nullptr) : 0;
}

int SocketBase::Close(int shutdownFirst, int unlinkPath) {
    if (fd_ >= 0) {
        if (shutdownFirst) shutdown(fd_, SHUT_RDWR);
        close(fd_);
        fd_ = -1;
    }
    if (unlinkPath && type_ == kSocketUnix) RemoveOwnPath();
    Reset();
    return 0;
}

int SocketBase::AddFlags(int flags) {
    ClearError();
    if (fd_ < 0) return SetError(EBADF, nullptr);
    const int current = fcntl(fd_, F_GETFL);
    if (current < 0 || fcntl(fd_, F_SETFL, current | flags) != 0) return SetError(-1, nullptr);
    return 0;
}

int SocketBase::SetOption(int option) {
    ClearError();
    if (fd_ < 0) return SetError(EBADF, nullptr);
    const int on = 1;
    return setsockopt(fd_, SOL_SOCKET, option, &on, sizeof on) != 0 ? SetError(-1, nullptr) : 0;
}

uint32_t SocketBase::GetMark() const {
    return mark_;
}

void SocketBase::SetMark(uint32_t value) {
    mark_ = value;
}

void SocketBase::SetInetAddress(const sockaddr_in& address) {
    type_ = kSocketInet;
    address_.inet = address;
    address_.inet.sin_family = AF_INET;
}

int SocketBase::SetUnixPath(const char* path) {
    if (path == nullptr || strlen(path) > kUnixSocketPathMax) {
        errno = ENAMETOOLONG;
        return -1;
    }
    type_ = kSocketUnix;
    memset(&address_, 0, sizeof address_);
    address_.local.sun_family = AF_UNIX;
    memcpy(address_.local.sun_path, path, strlen(path) + 1);
    return 0;
}

const char* SocketBase::UnixPath() const {
    return type_ == kSocketUnix && address_.any.sa_family == AF_UNIX ? address_.local.sun_path : "";
}

char* SocketBase::Name(char* buffer, size_t size) const {
    if (size == 0) return buffer;
    if (type_ == kSocketInet)
        FormatIPv4(ntohl(address_.inet.sin_addr.s_addr), buffer, size, ntohs(address_.inet.sin_port));
    else
        snprintf(buffer, size, "%s", UnixPath());
    return buffer;
}

char* SocketBase::PeerAddressText(char* buffer, size_t size) const {
    if (size == 0) return buffer;
    buffer[0] = '\0';
    if (type_ == kSocketInet && address_.any.sa_family == AF_INET)
        FormatIPv4(ntohl(address_.inet.sin_addr.s_addr), buffer, size, 0);
    return buffer;
}
