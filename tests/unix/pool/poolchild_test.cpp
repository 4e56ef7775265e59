// The child's side of the pool against a stand-in master: the test answers the status words
// itself and receives what the child hands back.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <csignal>
#include <memory>

#include "tests/unix/test_support.h"
#include "unix/pool/descpass.h"
#include "unix/pool/poolchild.h"

namespace {

// A status word from the child, or -1 when its pipe ended or nothing came within 20 s.
int64_t StatusWord(int fd) {
    uint32_t word = 0;
    size_t got = 0;
    while (got < sizeof word) {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 20000) <= 0) return -1;
        const ssize_t n = read(fd, reinterpret_cast<char*>(&word) + got, sizeof word - got);
        if (n <= 0) return -1;
        got += static_cast<size_t>(n);
    }
    return word;
}

// A child that gets its stop signal before it has served the connection handed to it (the signal
// waits, blocked, until the child lets signals in) gives the connection back to the master: on an
// idle stop, another child serves it; it is never closed unanswered.
TEST(PoolChildTest, StoppedBeforeServingItsHandedConnectionHandsItBack) {
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    LogToScratch(dir);
    for (int stop : {SIGUSR1, SIGUSR2}) {
        SCOPED_TRACE(stop == SIGUSR1 ? "SIGUSR1" : "SIGUSR2");
        int status[2], reply[2], pair[2], client[2];
        ASSERT_EQ(0, pipe2(status, O_CLOEXEC));
        ASSERT_EQ(0, pipe2(reply, O_CLOEXEC));
        ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair));
        ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, client));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(status[0]);
            close(reply[1]);
            close(pair[0]);
            close(client[1]);
            sigset_t held;
            sigemptyset(&held);
            sigaddset(&held, stop);
            sigprocmask(SIG_BLOCK, &held, nullptr);
            raise(stop);
            auto handed = std::make_unique<SocketBase>(kSocketUnix);
            handed->Attach(client[0], nullptr, 0);
            RunPoolChild(std::move(handed), false, pair[1], status[1], reply[0]);
        }
        close(status[1]);
        close(reply[0]);
        close(pair[1]);
        close(client[0]);

        EXPECT_EQ(kChildHandsBack, StatusWord(status[0]));
        const uint32_t answer = kChildHandsBack;
        ASSERT_EQ(static_cast<ssize_t>(sizeof answer), write(reply[1], &answer, sizeof answer));
        const int back = ReceiveDescriptor(pair[0], 20000);
        EXPECT_GE(back, 0);
        if (back >= 0) {
            // The client's own connection, still open: what the client sends arrives.
            ASSERT_EQ(1, send(client[1], "c", 1, MSG_NOSIGNAL));
            char byte = 0;
            pollfd wait{back, POLLIN, 0};
            ASSERT_EQ(1, poll(&wait, 1, 20000));
            EXPECT_EQ(1, recv(back, &byte, 1, 0));
            EXPECT_EQ('c', byte);
            close(back);
        }
        int exitStatus = -1;
        EXPECT_EQ(child, waitpid(child, &exitStatus, 0));
        EXPECT_TRUE(WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0);
        for (int fd : {status[0], reply[1], pair[0], client[1]}) close(fd);
    }
}

} // namespace
