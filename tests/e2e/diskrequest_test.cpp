// Command 11 against the real daemon: names that are not whole disks of the machine are refused,
// and the serving child keeps no descriptor of any request.
#include "daemon_process.h"
#include "wire_client.h"

namespace e2e {
namespace {

constexpr uint32_t kReadErrorBit = 0x20;

TEST(DiskRequestTest, OtherNamesAreRefusedAndNothingStaysOpen) {
    Daemon d;
    ASSERT_TRUE(d.StartDaemon());
    WireClient c;
    ASSERT_TRUE(c.Connect(d.SocketPath()));
    ASSERT_TRUE(c.SendWord(2));
    ASSERT_EQ(c.ReadWord().value_or(0), 600u);
    pid_t serving = 0;
    ASSERT_TRUE(WaitFor([&] {
        for (pid_t p : d.Pool())
            if (Exists(d.Path("tarvod.bsy." + std::to_string(p)))) serving = p;
        return serving != 0;
    }));
    const auto request = [&](const std::string& name) {
        return c.SendWords({11, 0, static_cast<uint32_t>(name.size())}) &&
               c.SendBytes(name.data(), name.size());
    };
    // The first request builds the drive map; what it leaves open is the measure.
    ASSERT_TRUE(request("../../etc/passwd"));
    ASSERT_EQ(c.ReadWord().value_or(1), 0u);
    ASSERT_EQ(c.ReadWord().value_or(0) & kReadErrorBit, kReadErrorBit);
    ASSERT_TRUE(c.ReadList().has_value());
    const int open = d.SteadyDescriptors(serving);
    const std::string before = DescriptorTargets(serving);
    for (const std::string& name : std::vector<std::string>{"/etc/passwd", "/etc/hostname", "/dev/null",
                                                            d.IniPath(), "../../../../" + d.IniPath()}) {
        ASSERT_TRUE(request(name)) << name;
        EXPECT_EQ(c.ReadWord().value_or(1), 0u) << name;
        EXPECT_EQ(c.ReadWord().value_or(0) & kReadErrorBit, kReadErrorBit) << name;
        const auto lines = c.ReadList();
        ASSERT_TRUE(lines.has_value()) << name;
        EXPECT_TRUE(lines->empty()) << name;
    }
    // One that a request kept stays; one still in use for the last answer goes.
    EXPECT_TRUE(WaitFor([&] { return d.KeptDescriptors(serving) == open; }, 10))
        << "before:\n"
        << before << "after:\n"
        << DescriptorTargets(serving);
    c.Close();
    EXPECT_EQ(d.Stop(), 0);
}

} // namespace
} // namespace e2e
