#include "mail/walk/senderaddress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a << 24 | b << 16 | c << 8 | d;
}

struct SenderCase {
    const char* what;
    std::vector<std::string> clauses; // the last field first
    uint32_t expected;
};

TEST(SenderAddress, FromClausesOfTheTraceFields) {
    const SenderCase cases[] = {
        {"public below private",
         {"mx.example (mx.example [8.8.8.8])", "inner (inner [10.1.2.3])"},
         Ip(8, 8, 8, 8)},
        {"private wins over loopback",
         {"localhost ([127.0.0.1])", "relay ([192.168.4.5])"},
         Ip(192, 168, 4, 5)},
        {"first loopback only", {"a ([127.0.0.2])", "b ([127.0.0.3])"}, Ip(127, 0, 0, 2)},
        {"last private one", {"a ([10.0.0.1])", "b ([10.0.0.2])"}, Ip(10, 0, 0, 2)},
        {"172.16/12 low end is private", {"a ([172.16.0.1])", "b ([9.9.9.9])"}, Ip(9, 9, 9, 9)},
        {"172.31 is private too", {"a ([172.31.255.1])", "b ([9.9.9.9])"}, Ip(9, 9, 9, 9)},
        {"172.32 is public", {"a ([172.32.0.1])", "b ([9.9.9.9])"}, Ip(172, 32, 0, 1)},
        {"172.15 is public", {"a ([172.15.0.1])"}, Ip(172, 15, 0, 1)},
        {"no ')'", {"a [1.2.3.4]", "b ([5.6.7.8])"}, Ip(5, 6, 7, 8)},
        {"no ']' before ')'", {"a (1.2.3.4)", "b ([5.6.7.8])"}, Ip(5, 6, 7, 8)},
        {"blank before the run", {"a (host 1.2.3.4])"}, Ip(1, 2, 3, 4)},
        {"letter before the run", {"a (x1.2.3.4])", "b ([5.6.7.8])"}, Ip(5, 6, 7, 8)},
        {"run reaches the start", {"1.2.3.4])", "b ([5.6.7.8])"}, Ip(5, 6, 7, 8)},
        {"run of 5 ends the search", {"a ([10.0.0.1])", "b ([1.2.3])", "c ([5.6.7.8])"}, Ip(10, 0, 0, 1)},
        {"run of 16 ends the search", {"a ([1.2.3.4567890123])", "c ([5.6.7.8])"}, 0},
        {"three numbers: next field", {"a ([1.2.34567])", "b ([5.6.7.8])"}, Ip(5, 6, 7, 8)},
        {"number above 255: next field", {"a ([1.2.3.256])", "b ([5.6.7.8])"}, Ip(5, 6, 7, 8)},
        {"digits after the last ']' are not read", {"a ([1.2.3.4] 99)"}, Ip(1, 2, 3, 4)},
        {"nothing", {}, 0},
        {"empty clauses", {"", ""}, 0},
    };
    for (const SenderCase& c : cases) EXPECT_EQ(c.expected, SenderAddressOfClauses(c.clauses)) << c.what;
}

} // namespace
