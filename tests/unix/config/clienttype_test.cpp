// Client types of the scan request and the log target each selects for its request.

#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "base/logwriter.h"
#include "unix/protocol/clientlogs.h"
#include "unix/config/clienttype.h"

namespace {

TEST(ClientTypeTest, WireCodesMapToInternalTypes) {
    const struct {
        uint32_t wire;
        int internal;
        const char* name;
    } cases[] = {
        {1, 4, "TarvoDC"},        {2, 3, "SmbGlivor"},      {3, 2, "Web"},
        {4, 1, "Mail"},           {5, 5, "Kerio"},          {6, 6, "Lotus"},
        {0, 0, "Unknown client"}, {9, 0, "Unknown client"}, {0xFFFFFFFF, 0, "Unknown client"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wire);
        EXPECT_EQ(MapClientType(c.wire), c.internal);
        EXPECT_STREQ(ClientTypeName(MapClientType(c.wire)), c.name);
    }
}

class ClientLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = ClientLogTargets;
        ClientLogTargets.clear();
        LogToSyslog = 1;
        strcpy(LogFileName, "/var/log/configured.log");
        LogClientType = 0;
        RequestClientType = 0;
    }
    void TearDown() override {
        ClientLogTargets = saved_;
        LogToSyslog = 1;
        LogFileName[0] = '\0';
        LogClientType = 0;
        RequestClientType = 0;
    }
    std::map<std::string, std::string> saved_;
};

TEST_F(ClientLogTest, TargetOfTheClientLastsForItsRequest) {
    const char* tokens[] = {"ClientsLogs", "mail: /tmp/mail.log", "web: SysLog"};
    ParseClientsLogs(tokens, 3);
    LogToSyslog = 0;
    {
        ClientLogScope scope;
        RequestClientType = MapClientType(4); // Mail
        ApplyClientLogSettings();
        EXPECT_EQ(LogToSyslog, 0);
        EXPECT_STREQ(LogFileName, "/tmp/mail.log");
        EXPECT_EQ(LogClientType, 1);
        EXPECT_STREQ(ClientLogPrefix(LogClientType), "<mail>: ");
    }
    EXPECT_EQ(LogToSyslog, 0);
    EXPECT_STREQ(LogFileName, "/var/log/configured.log");
    EXPECT_EQ(LogClientType, 0);
    EXPECT_EQ(RequestClientType, 0);
    {
        ClientLogScope scope;
        RequestClientType = MapClientType(3); // Web: "syslog" compared without case
        ApplyClientLogSettings();
        EXPECT_EQ(LogToSyslog, 1);
        EXPECT_STREQ(LogFileName, "/var/log/configured.log");
    }
    EXPECT_EQ(LogToSyslog, 0);
}

TEST_F(ClientLogTest, NoTargetNoSwitch) {
    const char* tokens[] = {"ClientsLogs", "mail: /tmp/mail.log"};
    ParseClientsLogs(tokens, 2);
    for (uint32_t wire : {0u, 1u, 9u}) {
        SCOPED_TRACE(wire);
        ClientLogScope scope;
        RequestClientType = MapClientType(wire);
        ApplyClientLogSettings();
        EXPECT_EQ(LogToSyslog, 1);
        EXPECT_STREQ(LogFileName, "/var/log/configured.log");
    }
}

TEST_F(ClientLogTest, TargetTooLongForTheLogNameIsNotCut) {
    ClientLogTargets["kerio:"] = "/tmp/" + std::string(kPathBufSize, 'k');
    ClientLogScope scope;
    RequestClientType = MapClientType(5);
    ApplyClientLogSettings();
    EXPECT_EQ(LogToSyslog, 1);
    EXPECT_STREQ(LogFileName, "/var/log/configured.log");
}

} // namespace
