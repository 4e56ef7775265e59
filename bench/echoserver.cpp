#include "echoserver.h"

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sockets.h"

namespace bench {

namespace {

struct Peer {
    int fd = -1;
    char head[4] = {};
    size_t headRead = 0;
    uint64_t bodyLeft = 0;
};

// Reads what is there; false when the peer is gone or broke the framing.
bool Serve(Peer& p) {
    char buffer[65536];
    for (;;) {
        size_t want =
            p.headRead < 4 ? 4 - p.headRead : (p.bodyLeft < sizeof buffer ? p.bodyLeft : sizeof buffer);
        const ssize_t n = read(p.fd, p.headRead < 4 ? p.head + p.headRead : buffer, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return true;
        if (n <= 0) return false;
        if (p.headRead < 4) {
            p.headRead += static_cast<size_t>(n);
            if (p.headRead < 4) continue;
            uint32_t wire = 0;
            memcpy(&wire, p.head, 4);
            p.bodyLeft = ntohl(wire);
        } else {
            p.bodyLeft -= static_cast<uint64_t>(n);
        }
        if (p.headRead == 4 && p.bodyLeft == 0) {
            // Four bytes always fit into an empty socket buffer.
            if (send(p.fd, p.head, 4, MSG_NOSIGNAL) != 4) return false;
            p.headRead = 0;
        }
    }
}

[[noreturn]] void RunServer(int listener, pid_t parent) {
    std::vector<Peer> peers;
    for (;;) {
        if (getppid() != parent) _exit(0);
        std::vector<pollfd> set{{listener, POLLIN, 0}};
        for (const Peer& p : peers) set.push_back({p.fd, POLLIN, 0});
        const int r = poll(set.data(), set.size(), 1000);
        if (r < 0 && errno != EINTR) _exit(1);
        if (r <= 0) continue;
        if (set[0].revents & POLLIN) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) peers.push_back(Peer{fd});
        }
        std::vector<Peer> kept;
        for (size_t i = 0; i < peers.size(); ++i) {
            const short ev = set[i + 1].revents;
            if (ev == 0 || Serve(peers[i])) {
                kept.push_back(peers[i]);
            } else {
                close(peers[i].fd);
            }
        }
        peers.swap(kept);
    }
}

} // namespace

pid_t StartEchoServer(const std::string& path, int port) {
    const int listener = port ? ListenTcp(port) : ListenUnix(path);
    if (listener < 0) return -1;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) RunServer(listener, parent);
    close(listener);
    return pid;
}

void StopEchoServer(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        poll(nullptr, 0, 20);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace bench
