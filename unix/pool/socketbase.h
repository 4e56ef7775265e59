// One stream socket with its address and its last error. Accepted and handed-back client connections
// are plain SocketBase objects; listeners are ListeningSocket objects (unix/pool/listeningsocket.h), the only
// kind that may remove a socket file.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>

enum : uint32_t {
    kSocketInet = 1,
    kSocketUnix = 2,
};

constexpr size_t kSocketErrorTextSize = 257;
// Longest Unix-domain path that a socket address holds (without its terminator).
constexpr size_t kUnixSocketPathMax = sizeof(sockaddr_un::sun_path) - 1;
// Room for a socket's name: a Unix-domain path, or a dotted address, a colon and a port.
constexpr size_t kSocketNameSize = sizeof(sockaddr_un::sun_path) + 1;

union SocketAddress {
    sockaddr any;
    sockaddr_in inet;
    sockaddr_un local;
};

class SocketBase {
public:
    explicit SocketBase(uint32_t type);
    SocketBase(const SocketBase&) = delete;
    SocketBase& operator=(const SocketBase&) = delete;

    // errno = 0, code 0, empty text.
    virtual void ClearError();
    // Code -1 stands for errno, a null text for strerror(code); returns the code stored.
    virtual int SetError(int code, const char* text);
    // Mark and ready flag 0, no descriptor, address zeroed, error cleared.
    virtual void Reset();
    // An inet socket with port 0 (a handed-back connection whose peer is unknown) is only closed; any
    // other open socket is shut down and closed.
    virtual ~SocketBase();
    virtual int GetFd() const;
    // Takes the descriptor and a copy of the address (cut to the address size).
    virtual void Attach(int fd, const sockaddr* address, socklen_t length);
    virtual void SetFd(int fd);
    // socket() of the type's family; close-on-exec.
    virtual int Create();
    // inet: stores inetAddress and binds to it; unix: binds to the stored path.
    virtual int Bind(const sockaddr_in* inetAddress);
    // A negative backlog becomes 1.
    virtual int Listen(int backlog);
    // Optional shutdown(SHUT_RDWR), close, then Reset. Only a listener removes its path (unlinkPath).
    virtual int Close(int shutdownFirst, int unlinkPath);
    // fcntl F_SETFL with flags added to the current ones.
    virtual int AddFlags(int flags);
    // setsockopt(SOL_SOCKET, option, 1).
    virtual int SetOption(int option);
    virtual uint32_t GetMark() const;
    virtual void SetMark(uint32_t value);

    uint32_t Type() const { return type_; }
    bool Ready() const { return ready_ != 0; }
    void SetReady(bool ready) { ready_ = ready ? 1 : 0; }
    int ErrorCode() const { return errorCode_; }
    const char* ErrorText() const { return errorText_; }
    const SocketAddress& Address() const { return address_; }

    // Stores an inet address (family, port and address in network order).
    void SetInetAddress(const sockaddr_in& address);
    // Stores a Unix-domain path: 0, or -1 with ENAMETOOLONG (nothing stored) when it does not fit.
    int SetUnixPath(const char* path);
    // The stored path of a Unix-domain socket ("" for inet).
    const char* UnixPath() const;
    // "a.b.c.d:port" for inet, the path for unix, cut to size - 1 characters.
    char* Name(char* buffer, size_t size) const;
    // The peer's dotted IPv4 address without port, "" when it is not inet.
    char* PeerAddressText(char* buffer, size_t size) const;

protected:
    // Removes the socket file when this object made it; connections never do.
    virtual void RemoveOwnPath() {}
    // The common shutdown and close of the destructors.
    void CloseForDestruction();

    uint32_t type_;
    uint32_t mark_ = 0;
    uint32_t ready_ = 0;
    int fd_ = -1;
    SocketAddress address_{};
    int errorCode_ = 0;
    char errorText_[kSocketErrorTextSize] = {};
};
