#include "unix/pool/descpass.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/unix/test_support.h"

namespace {

class DescriptorPassingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        LogToScratch(dir);
        ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair));
    }
    void TearDown() override {
        close(pair[0]);
        close(pair[1]);
    }
    // The lowest free descriptor number: a leak shows as a higher one.
    static int NextFreeDescriptor() {
        const int fd = dup(0);
        close(fd);
        return fd;
    }

    ScratchDir dir;
    int pair[2] = {-1, -1};
};

TEST_F(DescriptorPassingTest, DescriptorArrivesAsTheSameFile) {
    ASSERT_TRUE(dir.Write("f", "data"));
    const int fd = open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(0, SendDescriptor(pair[0], fd));
    const int got = ReceiveDescriptor(pair[1], 5000);
    ASSERT_GE(got, 0);
    EXPECT_NE(fd, got);
    struct stat a {
    }, b{};
    ASSERT_EQ(0, fstat(fd, &a));
    ASSERT_EQ(0, fstat(got, &b));
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_TRUE(fcntl(got, F_GETFD) & FD_CLOEXEC);
    close(fd);
    close(got);
}

TEST_F(DescriptorPassingTest, BadDescriptorIsNotSent) {
    EXPECT_EQ(-1, SendDescriptor(pair[0], -1));
    EXPECT_NE(std::string::npos, ReadFile(dir / "log").find("Send descriptor: Bad descriptor is passed"));
    close(pair[1]);
    pair[1] = -1;
    EXPECT_EQ(-1, SendDescriptor(pair[0], 0));
    EXPECT_NE(std::string::npos,
              ReadFile(dir / "log").find("Send descriptor: Error while sending client descriptor"));
}

// Whatever a refused message carries is closed, nothing leaks.
TEST_F(DescriptorPassingTest, MalformedMessagesAreRefused) {
    const int before = NextFreeDescriptor();
    ASSERT_EQ(6, write(pair[0], "dummy", 6)); // no descriptor at all
    EXPECT_EQ(-1, ReceiveDescriptor(pair[1], 5000));

    // Two descriptors in one message.
    int fds[2] = {dup(0), dup(0)};
    char space[CMSG_SPACE(sizeof fds)] = {};
    char data[] = "dummy";
    iovec part{data, sizeof data};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = space;
    message.msg_controllen = sizeof space;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof fds);
    memcpy(CMSG_DATA(c), fds, sizeof fds);
    ASSERT_EQ(6, sendmsg(pair[0], &message, 0));
    close(fds[0]);
    close(fds[1]);
    EXPECT_EQ(-1, ReceiveDescriptor(pair[1], 5000));
    EXPECT_EQ(before, NextFreeDescriptor());

    EXPECT_EQ(-1, ReceiveDescriptor(pair[1], 10)); // nothing sent: time-out
    close(pair[0]);
    pair[0] = -1;
    EXPECT_EQ(-1, ReceiveDescriptor(pair[1], 5000)); // the sender is gone
    EXPECT_NE(std::string::npos,
              ReadFile(dir / "log")
                  .find("Receive descriptor: Error while receiving message with client descriptor: "));
}

} // namespace
