#include "mail/walk/readings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// CR LF lines with the byte at a given offset made a lone CR, or none: the text is looked at in
// blocks, so the cases put the CR at, before and after block edges and at the end.
std::string Lines(size_t size) {
    std::string text;
    while (text.size() < size) text += "Line of text\r\n";
    text.resize(size);
    if (text.back() == '\r') text.back() = '.';
    return text;
}

// What a reader that ends lines at a lone CR makes of text: every CR not before an LF gets one.
std::string Expected(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) out += '\n';
    }
    return out;
}

TEST(LoneCrReading, FindsALoneCrWhereverItStands) {
    for (size_t size : {1u, 2u, 16u, 17u, 18u, 33u, 100u, 1000u}) {
        const std::string clean = Lines(size);
        std::string out = "untouched";
        EXPECT_FALSE(LoneCrReading(clean, out)) << size;
        EXPECT_EQ(out, "untouched");
        for (size_t at = 0; at < size; ++at) {
            std::string text = clean;
            text[at] = '\r';
            // Made a CR before an LF, or the CR before it now ends a line: no lone CR there.
            if (Expected(text) == text) continue;
            out.clear();
            ASSERT_TRUE(LoneCrReading(text, out)) << "size " << size << " CR at " << at;
            EXPECT_EQ(out, Expected(text)) << "size " << size << " CR at " << at;
        }
    }
}

TEST(LoneCrReading, ACrLfAcrossABlockEdgeIsNoLoneCr) {
    for (size_t at = 0; at + 1 < 64; ++at) {
        std::string text(64, 'x');
        text[at] = '\r';
        text[at + 1] = '\n';
        std::string out;
        EXPECT_FALSE(LoneCrReading(text, out)) << at;
    }
    std::string endsInCr(40, 'x');
    endsInCr.back() = '\r';
    std::string out;
    EXPECT_TRUE(LoneCrReading(endsInCr, out));
    EXPECT_EQ(out, endsInCr + "\n");
}

} // namespace
