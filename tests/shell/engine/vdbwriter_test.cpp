#include "engine/vdbwriter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "engine/vdbformat.h"

namespace {

std::string FileBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(VdbWriterTest, ListLinesBecomeRecords) {
    VdbBase base;
    std::string error;
    ASSERT_EQ(0, ParseSignatureList("# comment\n\n"
                                    "base title=\"A title\" kind=2 stamp=0x10 key4=7 daily=1\r\n"
                                    "adware Ad.One any * wipe hex:41 42 43\n"
                                    "marker m.crc file 4 crc-error+split text:C C  \n",
                                    base, error))
        << error;
    EXPECT_EQ("A title", base.title);
    EXPECT_EQ(2, base.kind);
    EXPECT_EQ(0x10, base.stamp);
    EXPECT_EQ(7u, base.key4);
    EXPECT_EQ(1, base.daily);
    ASSERT_EQ(2u, base.signatures.size());
    const VdbSignature& ad = base.signatures[0];
    EXPECT_EQ(TARVO_CLASS_ADWARE, ad.cls);
    EXPECT_EQ(TARVO_VDB_TARGET_FILE | TARVO_VDB_TARGET_BOOT, ad.targets);
    EXPECT_EQ(TARVO_VDB_CURE_WIPE, ad.cure);
    EXPECT_EQ(TARVO_VDB_ANYWHERE, ad.offset);
    EXPECT_EQ("ABC", ad.pattern);
    const VdbSignature& marker = base.signatures[1];
    EXPECT_EQ(TARVO_VDB_CLASS_MARKER, marker.cls);
    EXPECT_EQ(4, marker.offset);
    EXPECT_EQ(TARVO_RESULT_CRC_ERROR | TARVO_RESULT_SPLIT_FILE, marker.result);
    EXPECT_EQ("C C", marker.pattern) << "trailing blanks dropped";
}

TEST(VdbWriterTest, BadLinesAreNamedByNumber) {
    struct Case {
        const char* list;
        const char* error;
    };
    const Case cases[] = {
        {"virus X file 0 incurable text:A\n", "line 1: unknown class virus"},
        {"\ninfected X disk 0 incurable text:A\n", "line 2: unknown target disk"},
        {"infected X file -1 incurable text:A\n", "line 1: bad offset -1"},
        {"infected X file 0 heal text:A\n", "line 1: unknown cure heal"},
        {"marker X file 0 incurable text:A\n", "line 1: bad result bits incurable"},
        {"infected X file 0 incurable hex:414\n", "line 1: bad pattern"},
        {"infected X file 0 incurable text:\n", "line 1: bad pattern"},
        {"infected X file 0\n", "line 1: expected CLASS NAME TARGET OFFSET CURE PATTERN"},
        {"base colour=red\n", "line 1: unknown key colour"},
        {"base key3b=0x8000\n", "line 1: bad value for key3b"},
    };
    for (const Case& c : cases) {
        VdbBase base;
        std::string error;
        EXPECT_EQ(-1, ParseSignatureList(c.list, base, error)) << c.list;
        EXPECT_EQ(c.error, error) << c.list;
    }
}

TEST(VdbWriterTest, DemoBaseDoesNotHoldItsOwnPatterns) {
    std::string image = FileBytes(TARVO_DEMO_BASE_VDB);
    ASSERT_GT(image.size(), static_cast<size_t>(TARVO_BASE_HEADER_SIZE));
    EXPECT_EQ(0, image.compare(0, 4, TARVO_BASE_MARKER));
    EXPECT_EQ(std::string::npos, image.find("EICAR-STANDARD-ANTIVIRUS-TEST-FILE"));
    EXPECT_EQ(std::string::npos, image.find("TARVO-TEST-"));
    EXPECT_NE(std::string::npos, image.find("EICAR-Test-File")) << "names are kept as they are";
}

} // namespace
