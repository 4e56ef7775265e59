// Requests of clients that loop over their connections, for the tests that reload or stop the
// daemon under load.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "samples.h"
#include "wire_client.h"

namespace e2e {

// Request n of a client: protocol version and EICAR scans in turn. Sent and checked apart, so that
// several are under way together.
inline bool SendRequest(WireClient& c, int n) {
    if (n % 2 == 0) return c.SendWord(2);
    const std::string data = Eicar();
    return c.SendWords({1, 0x1}) && c.SendName("eicar.com") &&
           c.SendWord(static_cast<uint32_t>(data.size())) && c.SendBytes(data.data(), data.size());
}

inline ::testing::AssertionResult CheckReply(WireClient& c, int n) {
    const auto w = c.ReadWord();
    if (n % 2 == 0) {
        if (!w || *w != 600) return ::testing::AssertionFailure() << "command 2 answered " << (w ? *w : 0);
        return ::testing::AssertionSuccess();
    }
    if (!w || !(*w & kInfectedBit)) return ::testing::AssertionFailure() << "scan answered " << (w ? *w : 0);
    const auto found = c.ReadList();
    if (!found || found->size() != 1) return ::testing::AssertionFailure() << "found list";
    return ::testing::AssertionSuccess();
}

} // namespace e2e
