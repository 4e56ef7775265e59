#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unix/config_fixture.h"
#include "unix/config/socketconfig.h"

namespace {

using SocketKey = ConfigTest;

std::vector<std::string> UnixRecords() {
    std::vector<std::string> out;
    for (void* p = UnixSocketList->First(); p; p = UnixSocketList->Next()) {
        const UnixSocketSpec* s = static_cast<const UnixSocketSpec*>(p);
        char mode[8];
        snprintf(mode, sizeof mode, "%04o", s->mode);
        out.push_back(std::string(s->path) + " " + mode);
    }
    return out;
}

// "port host,host".
std::vector<std::string> InetRecords() {
    std::vector<std::string> out;
    for (void* p = InetSocketList->First(); p; p = InetSocketList->Next()) {
        const InetSocketSpec* s = static_cast<const InetSocketSpec*>(p);
        std::string text = std::to_string(s->port) + " ";
        size_t size = 1;
        for (const char* h = s->hosts; *h; h += strlen(h) + 1) {
            text += std::string(h) + (h[strlen(h) + 1] ? "," : "");
            size += strlen(h) + 1;
        }
        EXPECT_EQ(s->size, size);
        out.push_back(text);
    }
    return out;
}

struct SocketCase {
    std::string value;
    bool bad;
    std::vector<std::string> unixRecords;
    std::vector<std::string> inetRecords;
};

TEST_F(SocketKey, Table) {
    const std::string longPath = "/" + std::string(MaxUnixSocketPath() - 1, 's');
    const SocketCase cases[] = {
        {"unix:/var/run/s", false, {"/var/run/s 0666"}, {}},
        {"local:/var/run/s, unix:/var/run/s", false, {"/var/run/s 0666"}, {}},
        {"local:/a, local:/A", false, {"/a 0666", "/A 0666"}, {}},
        {"local:" + longPath, false, {longPath + " 0666"}, {}},
        {"local:" + longPath + "x", true, {}, {}},
        {"local:", true, {}, {}},
        {"inet:3000@127.0.0.1", false, {}, {"3000 127.0.0.1"}},
        {"inet: 65535@h", false, {}, {"65535 h"}},
        {"inet:0@127.0.0.1", true, {}, {}},
        {"inet:65536@127.0.0.1", true, {}, {}},
        {"inet:3000", true, {}, {}},
        {"inet:3000@", true, {}, {}},
        {"inet:3000@*", true, {}, {}},
        {"/tmp/s 0660", false, {"/tmp/s 0660"}, {}},
        {"/tmp/s", false, {"/tmp/s 0666"}, {}},
        {"/tmp/s 0990", true, {}, {}},
        {longPath + " 0600", false, {longPath + " 0600"}, {}},
        {longPath + "x 0600", true, {}, {}},
        {"/tmp/s 777777", true, {}, {}},
        {"3000", false, {}, {"3000 127.0.0.1"}},
        {"3000 192.168.1.1 192.168.1.2", false, {}, {"3000 192.168.1.1,192.168.1.2"}},
        {"3000 a, b c, 4000", false, {}, {"3000 a,b,c", "4000 127.0.0.1"}},
        {"3000, 3000", false, {}, {"3000 127.0.0.1"}},
        {"3000 h, 3000 h2", false, {}, {"3000 h", "3000 h2"}},
        {"3000 h, 3000 h x", false, {}, {"3000 h"}},
        {"0", true, {}, {}},
        {"65536", true, {}, {}},
        {"x3000", true, {}, {}},
        {"3000 *", true, {}, {}},
        {"3000, \"\"", true, {}, {}},
        // A later current-form value is a value of its own, not a host.
        {"3000, local:/s, inet:4000@h, unix:/u", false, {"/s 0666", "/u 0666"}, {"3000 127.0.0.1", "4000 h"}},
        {"local:/s, inet:3000@h, 4000 a b", false, {"/s 0666"}, {"3000 h", "4000 a,b"}},
        // The values before a bad one keep their records.
        {"local:/s, bogus, local:/t", true, {"/s 0666"}, {}},
    };
    for (const SocketCase& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(Load("[Daemon]\nSocket = " + c.value + "\n"), c.bad ? 1 : 0);
        EXPECT_EQ(UnixRecords(), c.unixRecords);
        EXPECT_EQ(InetRecords(), c.inetRecords);
    }
}

TEST_F(SocketKey, LinesAddUpAndDuplicatesAreSkipped) {
    Load("[Daemon]\nSocket = local:/s\nSocket = unix:/s, 3000\nSocket = inet:3000@127.0.0.1\n");
    EXPECT_EQ(UnixRecords(), std::vector<std::string>{"/s 0666"});
    EXPECT_EQ(InetRecords(), std::vector<std::string>{"3000 127.0.0.1"});
}

TEST_F(SocketKey, DefaultOnlyWhenNothingIsConfigured) {
    Load("[Daemon]\n");
    EXPECT_EQ(AddDefaultSocket(), 1);
    EXPECT_EQ(InetRecords(), std::vector<std::string>{"3000 127.0.0.1"});
    EXPECT_EQ(Strings(DefaultAddressList.get()), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(AddDefaultSocket(), 0);

    Load("[Daemon]\nSocket = local:/s\n");
    EXPECT_EQ(AddDefaultSocket(), 0);
    EXPECT_TRUE(InetSocketList->IsEmpty());
}

// The default listener stands in for a Socket key that is not there, never for one whose values
// failed: such a key leaves nothing to listen on, and the load must fail.
TEST_F(SocketKey, KeyWhoseValuesAllFailGetsNoDefault) {
    struct Case {
        const char* text;
        int32_t badLines;
        int defaultAdded;
        bool unusable;
    };
    const Case cases[] = {
        {"", 0, 1, false},
        {"[Other]\nSocket = local:/s\n", 0, 1, false},
        {"[Daemon]\n# Socket = local:/s\n", 0, 1, false},
        {"[Daemon]\nSocket = local:/s\n", 0, 0, false},
        {"[Daemon]\nSocket = bogus\n", 1, 0, true},
        {"[Daemon]\nSocket = local:\n", 1, 0, true},
        {"[Daemon]\nSocket =\n", 1, 0, true},
        {"[Daemon]\nSocket\n", 1, 0, true},
        {"[Daemon]\nSocket = inet:0@127.0.0.1, 65536\n", 1, 0, true},
        {"[Daemon]\nSocket = bogus\nSocket = local:/s\n", 1, 0, false},
        {"[Daemon]\nSocket = local:/s, bogus\n", 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Load(std::string("[Daemon]\nPidFile = /p\n") + c.text), c.badLines);
        EXPECT_EQ(AddDefaultSocket(), c.defaultAdded);
        EXPECT_EQ(ConfiguredSocketsUnusable(), c.unusable);
        if (!c.defaultAdded) {
            EXPECT_TRUE(Strings(DefaultAddressList.get()).empty());
        }
    }
}

TEST(SocketHelpers, PieceByPiece) {
    EXPECT_EQ(StartsWithSlash("/x"), 1);
    EXPECT_EQ(StartsWithSlash("x"), 0);
    EXPECT_EQ(StartsWithSlash(nullptr), 0);
    EXPECT_EQ(MaxUnixSocketPath(), 107u);

    UnixSocketSpec u;
    EXPECT_EQ(ParseLocalAddress("unix:rel", &u), 1);
    EXPECT_STREQ(u.path, "rel");
    EXPECT_EQ(u.mode, 0666u);
    EXPECT_EQ(ParseLocalAddress("Unix:/x", &u), 0);

    InetSocketSpec in;
    ASSERT_EQ(ParseInetAddress("inet:80x@a@b", &in), 1);
    EXPECT_EQ(in.port, 80);
    EXPECT_STREQ(in.hosts, "a@b");
    FreeInetSpec(&in);
    EXPECT_EQ(ParseInetAddress("INET:80@a", &in), 0);
}

} // namespace
