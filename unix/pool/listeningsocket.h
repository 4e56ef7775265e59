// A listening socket of the daemon. Unlike a client connection it may remove its Unix-domain socket
// file, and only when that file is still the one its own bind made.
#pragma once

#include <sys/types.h>

#include "unix/pool/socketbase.h"

class ListeningSocket : public SocketBase {
public:
    explicit ListeningSocket(uint32_t type) : SocketBase(type) {}
    // Shut down, closed and, for unix, its socket file removed.
    ~ListeningSocket() override;

    // Binds as SocketBase does, the Unix-domain socket file made with exactly `mode` (permission
    // bits). The file is remembered as this socket's own (OwnsPath) only when it is a socket with
    // that mode after the bind.
    int BindUnix(uint32_t mode);
    // Forgets the socket file, so that nothing removes it (it belongs to another process).
    void DisownPath() { ownsPath_ = false; }
    bool OwnsPath() const { return ownsPath_; }

protected:
    void RemoveOwnPath() override;

private:
    bool ownsPath_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};
