#include "base/bufstream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/filelayer.h"
#include "scratch_dir.h"

namespace {

// Bytes whose value tells their offset, so a repeated or lost byte shows.
std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return s;
}

TEST(MemoryStream, ReadsToTheEndAndSeekStartsAgain) {
    unsigned char data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    BufStreamPtr s(StreamOpen("unused", 0, data, sizeof data));
    ASSERT_TRUE(s);
    EXPECT_EQ(kMemoryStream, s->fd);
    EXPECT_EQ(10, StreamSize(s.get()));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(i, StreamPeekByte(s.get()));
        EXPECT_EQ(i, s->position) << "a peek takes nothing";
        EXPECT_EQ(i, StreamGetByte(s.get()));
    }
    EXPECT_EQ(-1, StreamPeekByte(s.get()));
    EXPECT_EQ(-1, StreamGetByte(s.get()));
    EXPECT_EQ(1, s->atEnd);

    // After the end was seen a seek must still take effect.
    EXPECT_EQ(4, StreamSeek(s.get(), 4));
    EXPECT_EQ(4, StreamGetByte(s.get()));
    unsigned char buf[16];
    EXPECT_EQ(5u, StreamRead(s.get(), buf, sizeof buf));
    EXPECT_EQ(5, buf[0]);
    EXPECT_EQ(9, buf[4]);

    EXPECT_EQ(10, StreamSeek(s.get(), 10));
    EXPECT_EQ(-1, StreamGetByte(s.get()));
    EXPECT_EQ(-1, StreamSeek(s.get(), 11));
    EXPECT_EQ(-1, StreamSeek(s.get(), -1));
    EXPECT_EQ(0, StreamSeek(s.get(), 0));
    EXPECT_EQ(0, StreamGetByte(s.get()));
}

TEST(MemoryStream, Lines) {
    struct Case {
        std::string data;
        size_t max;
        std::vector<std::string> trimmed;
    } cases[] = {
        {"\n\nabc\n", 100, {"abc", ""}},
        {"\r\none\r\ntwo", 100, {"one", "two", ""}},
        {"abcdef\n", 4, {"abcd", "ef", ""}},
        {"\n", 10, {""}},
    };
    for (Case& c : cases) {
        BufStreamPtr s(StreamOpen(nullptr, 0, &c.data[0], c.data.size() ? c.data.size() : 1));
        if (c.data.empty()) s->filled = 0; // a stream over no bytes
        for (const std::string& want : c.trimmed) {
            char buf[128];
            EXPECT_EQ(want.size(), StreamReadTrimmedLine(s.get(), buf, c.max));
            EXPECT_EQ(want, buf);
        }
    }

    std::string text = "ab\ncdefg\nh";
    BufStreamPtr s(StreamOpen(nullptr, 0, &text[0], text.size()));
    char buf[8];
    EXPECT_EQ(3u, StreamReadLine(s.get(), buf, 7));
    EXPECT_STREQ("ab\n", buf);
    EXPECT_EQ(3u, StreamReadLine(s.get(), buf, 3));
    EXPECT_STREQ("cde", buf);
    EXPECT_EQ(3u, StreamReadLine(s.get(), buf, 7));
    EXPECT_STREQ("fg\n", buf);
    EXPECT_EQ(1u, StreamReadLine(s.get(), buf, 7));
    EXPECT_STREQ("h", buf);
    EXPECT_EQ(0u, StreamReadLine(s.get(), buf, 7));
    EXPECT_STREQ("", buf);
}

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        savedCount = OpenFileCount;
        savedLimit = OpenFileLimit;
    }
    void TearDown() override {
        EXPECT_EQ(savedCount, OpenFileCount);
        OpenFileCount = savedCount;
        OpenFileLimit = savedLimit;
    }
    ScratchDir dir;
    int32_t savedCount = 0, savedLimit = 0;
};

TEST_F(FileStreamTest, ReadSeekAndSizeNeitherRepeatNorLoseBytes) {
    const std::string data = Pattern(3 * kStreamBufferSize + 123);
    ASSERT_TRUE(dir.Write("f", data));
    BufStreamPtr s(StreamOpen((dir / "f").c_str(), 0, nullptr, 0));
    ASSERT_TRUE(s);
    EXPECT_EQ(savedCount + 1, OpenFileCount);

    std::string got;
    char buf[1000];
    // Mixed reads that cross every buffer boundary, with a size query in the
    // middle of a buffer each time.
    while (got.size() < data.size()) {
        int c = StreamGetByte(s.get());
        if (c < 0) break;
        got += static_cast<char>(c);
        EXPECT_EQ(static_cast<int64_t>(data.size()), StreamSize(s.get()));
        size_t n = StreamRead(s.get(), buf, sizeof buf);
        got.append(buf, n);
        EXPECT_EQ(static_cast<int64_t>(got.size()), s->position);
    }
    EXPECT_EQ(-1, StreamGetByte(s.get()));
    ASSERT_EQ(data.size(), got.size());
    EXPECT_TRUE(data == got);

    for (int64_t pos : {int64_t(0), int64_t(kStreamBufferSize - 1), int64_t(kStreamBufferSize),
                        int64_t(data.size() - 1), int64_t(5)}) {
        EXPECT_EQ(pos, StreamSeek(s.get(), pos));
        size_t n = StreamRead(s.get(), buf, 10);
        size_t expect =
            data.size() - static_cast<size_t>(pos) < 10 ? data.size() - static_cast<size_t>(pos) : 10;
        ASSERT_EQ(expect, n) << pos;
        EXPECT_EQ(data.substr(static_cast<size_t>(pos), n), std::string(buf, n)) << pos;
    }
    EXPECT_EQ(static_cast<int64_t>(data.size()), StreamSeek(s.get(), static_cast<int64_t>(data.size())));
    EXPECT_EQ(-1, StreamGetByte(s.get()));
    s.reset();
}

TEST_F(FileStreamTest, WrittenBytesReadBackWhole) {
    const std::string data = Pattern(2 * kStreamBufferSize + 77);
    unsigned char small[100];
    struct Case {
        void* buffer;
        size_t size;
    } cases[] = {{nullptr, 0}, {small, sizeof small}};
    for (const Case& c : cases) {
        BufStream* w = StreamOpen((dir / "out").c_str(), 1, c.buffer, c.size);
        ASSERT_NE(nullptr, w);
        size_t done = 0;
        for (size_t step = 1; done < data.size(); step = step * 3 % 997 + 1) {
            size_t n = std::min(step, data.size() - done);
            EXPECT_EQ(static_cast<int64_t>(n), StreamWrite(w, data.data() + done, n));
            done += n;
        }
        EXPECT_EQ(static_cast<int64_t>(data.size()), StreamSize(w));
        EXPECT_EQ(-1, StreamSeek(w, 0));
        EXPECT_EQ(-1, StreamGetByte(w));
        EXPECT_EQ(0, StreamClose(w));

        BufStreamPtr r(StreamOpen((dir / "out").c_str(), 0, nullptr, 0));
        ASSERT_TRUE(r);
        std::string back(data.size() + 10, '\0');
        EXPECT_EQ(data.size(), StreamRead(r.get(), &back[0], back.size()));
        back.resize(data.size());
        EXPECT_TRUE(data == back);
        EXPECT_EQ(-1, StreamWrite(r.get(), "x", 1));
    }
}

TEST_F(FileStreamTest, WriteFailureIsReported) {
    BufStream* w = StreamOpen("/dev/full", 1, nullptr, 0);
    if (!w) GTEST_SKIP() << "no /dev/full";
    const std::string data = Pattern(kStreamBufferSize + 1);
    EXPECT_EQ(-1, StreamWrite(w, data.data(), data.size()));
    EXPECT_EQ(-1, StreamClose(w));
}

TEST_F(FileStreamTest, OpenFailuresFreeEverything) {
    EXPECT_EQ(nullptr, StreamOpen((dir / "missing").c_str(), 0, nullptr, 0));
    EXPECT_EQ(nullptr, StreamOpen((dir / "no/dir/out").c_str(), 1, nullptr, 0));
    ASSERT_TRUE(dir.Write("f", "abc"));
    OpenFileLimit = OpenFileCount;
    EXPECT_EQ(nullptr, StreamOpen((dir / "f").c_str(), 0, nullptr, 0));
    // A memory stream needs no descriptor.
    char mem[3] = {'a', 'b', 'c'};
    BufStreamPtr m(StreamOpen((dir / "f").c_str(), 0, mem, sizeof mem));
    EXPECT_TRUE(m);
    EXPECT_EQ(-1, StreamClose(nullptr));
}

} // namespace
