// A listening socket of the daemon. Unlike a client connection it may remove its Unix-domain socket
// file, and only when that file is still the one its own bind made.
#pragma once

#include <sys/types.h>

#include "unix/socketbase.h"

class ListeningSocket : public SocketBase {
public:
    explicit ListeningSocket(uint32_t type) : SocketBase(type) {}
    // Shut down, closed and, for unix, its socket file removed.
    ~ListeningSocket() override;

    // Binds as SocketBase does; a Unix-domain socket file is made with exactly `mode` (permission
    // bits) and remembered as this socket's own.
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
