// A table of cases for the body decoders, which share one signature.
#pragma once

#include <gtest/gtest.h>

#include <string>

struct BodyDecodeCase {
    const char* name;
    std::string input;
    bool collapseCr;
    std::string output;
    int result;
};

using BodyDecoder = int (*)(const std::string& input, std::string& output, bool collapseCr);

template <size_t N> void ExpectDecodes(BodyDecoder decode, const BodyDecodeCase (&cases)[N]) {
    for (const auto& c : cases) {
        std::string out = "old contents";
        EXPECT_EQ(decode(c.input, out, c.collapseCr), c.result) << c.name;
        EXPECT_EQ(out, c.output) << c.name;
    }
}
