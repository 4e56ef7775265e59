#include "unix/pool/descpass.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/logwriter.h"
#include "unix/pool/poolsignals.h"

namespace {

const char kDummy[] = "dummy";

// Room for one descriptor, aligned as the control-message macros need it.
union OneDescriptorControl {
    cmsghdr header;
    char space[CMSG_SPACE(sizeof(int))];
};

// Room for a few more, so that a message carrying extra descriptors is seen whole and closed.
union ReceiveControl {
    cmsghdr header;
    char space[CMSG_SPACE(sizeof(int) * 8)];
};

void CloseCarried(msghdr& message) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd;
            memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            if (fd >= 0) close(fd);
        }
    }
}

int Refuse(int error) {
    PrintMessage("Receive descriptor: Error while receiving message with client descriptor: %s",
                 strerror(error));
    EndMessageLine(0);
    errno = error;
    return -1;
}

} // namespace

int SendDescriptor(int socket, int fd) {
    if (fd < 0) {
        PrintMessage("Send descriptor: Bad descriptor is passed");
        EndMessageLine(0);
        return -1;
    }
    SignalsBlocked blocked(PoolSignalSet());
    iovec data{const_cast<char*>(kDummy), sizeof kDummy};
    OneDescriptorControl control{};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control.space;
    message.msg_controllen = sizeof control.space;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(c), &fd, sizeof fd);
    ssize_t sent;
    do {
        sent = sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(sizeof kDummy)) {
        PrintMessage("Send descriptor: Error while sending client descriptor");
        EndMessageLine(0);
        return -1;
    }
    return 0;
}

int ReceiveDescriptor(int socket, int64_t waitMillis) {
    SignalsBlocked blocked(PoolSignalSet());
    pollfd wait{socket, POLLIN, 0};
    const int timeout =
        waitMillis < 0 ? -1 : (waitMillis > INT32_MAX ? INT32_MAX : static_cast<int>(waitMillis));
    int ready;
    do {
        ready = poll(&wait, 1, timeout);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return Refuse(ETIMEDOUT);
    if (ready < 0) return Refuse(errno);

    char buffer[8];
    iovec data{buffer, sizeof buffer};
    ReceiveControl control{};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control.space;
    message.msg_controllen = sizeof control.space;
    ssize_t got;
    do {
        got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return Refuse(errno);
    if (message.msg_flags & MSG_CTRUNC) {
        CloseCarried(message);
        return Refuse(EMSGSIZE);
    }
    int fd = -1;
    size_t carried = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        carried += (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        if (c->cmsg_len == CMSG_LEN(sizeof(int)) && fd < 0) memcpy(&fd, CMSG_DATA(c), sizeof fd);
    }
    if (carried != 1 || fd < 0) {
        CloseCarried(message);
        return Refuse(got == 0 ? ECONNRESET : EBADMSG);
    }
    return fd;
}
