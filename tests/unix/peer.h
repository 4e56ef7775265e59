#pragma once
// A forked peer on the other end of a socket pair, for the protocol tests.

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

// Both ends of a stream socket pair; ours is non-blocking, as the daemon's connections are.
struct SocketPair {
    int ours = -1;
    int theirs = -1;
    SocketPair() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) {
            ours = fds[0];
            theirs = fds[1];
            fcntl(ours, F_SETFL, fcntl(ours, F_GETFL) | O_NONBLOCK);
        }
    }
    ~SocketPair() {
        CloseOurs();
        CloseTheirs();
    }
    void CloseOurs() {
        if (ours >= 0) close(ours);
        ours = -1;
    }
    void CloseTheirs() {
        if (theirs >= 0) close(theirs);
        theirs = -1;
    }
};

// Runs `body` (given the peer's end) in a child process; its return value is the exit status.
// The parent's copy of the peer's end is closed, so the peer's exit is an end of stream.
inline pid_t StartPeer(SocketPair& pair, const std::function<int(int)>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        close(pair.ours);
        _exit(body(pair.theirs));
    }
    pair.CloseTheirs();
    return pid;
}

// The peer's exit status, or -1 when it did not exit normally.
inline int WaitPeer(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Blocking helpers for the peer's side.
inline bool PeerWrite(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

inline std::string PeerRead(int fd, size_t size) {
    std::string bytes(size, '\0');
    size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, &bytes[done], size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

// Everything until the other side closes.
inline std::string PeerReadAll(int fd) {
    std::string bytes;
    char piece[4096];
    ssize_t n;
    while ((n = read(fd, piece, sizeof piece)) > 0) bytes.append(piece, static_cast<size_t>(n));
    return bytes;
}

// A big-endian word as bytes.
inline std::string Word(uint32_t w) {
    const char b[4] = {static_cast<char>(w >> 24), static_cast<char>(w >> 16), static_cast<char>(w >> 8),
                       static_cast<char>(w)};
    return std::string(b, 4);
}
