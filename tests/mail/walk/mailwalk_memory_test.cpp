// The mail walk out of memory: wherever it runs out, the message is answered with the no-memory
// error (never as clean), the log says so and the process goes on.

#include <gtest/gtest.h>

#include <cstdio>
#include <malloc.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>

#include "base/alloc.h"
#include "mail/mime/base64.h"
#include "mail/mime/body.h"
#include "mail/mime/enums.h"
#include "mail/walk/mailwalk.h"
#include "shell/host/memfile.h"
#include "tests/mail/walk/walk_fixture.h"

namespace {

constexpr uint32_t kNoMemoryWord = 0x4; // the protocol's no-memory error, without "nothing found"

// A message with one base64 attachment of bytes random bytes: decoding it needs memory of its own,
// whatever the tree holds.
std::string MailWithAttachment(size_t bytes) {
    std::mt19937 rng(31);
    std::string data(bytes, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    std::string encoded;
    Base64Encode(data, encoded);
    return "From: a@example.org\r\nSubject: big\r\nContent-Type: multipart/mixed; boundary=\"BB\"\r\n\r\n"
           "--BB\r\nContent-Type: text/plain\r\n\r\nhello\r\n"
           "--BB\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" +
           encoded + "--BB--\r\n";
}

// The message under levels multipart levels more.
std::string Nested(int levels, std::string mail) {
    for (int i = levels - 1; i >= 0; --i) {
        // Of one length: no boundary is the start of another.
        char boundary[16];
        snprintf(boundary, sizeof boundary, "L%02d", i);
        mail = std::string("Content-Type: multipart/mixed; boundary=") + boundary + "\r\n\r\n--" + boundary +
               "\r\n" + mail + "\r\n--" + boundary + "--\r\n";
    }
    return mail;
}

class MailWalkMemory : public MailWalkTest {
protected:
    WalkRun ScanObject(const std::string& mail, uint32_t size, size_t bound) {
        return Run(
            kWantFound | kWantDelete,
            [&](int fd) {
                TimeBudget budget = kUnlimitedBudget;
                MemSetFailureBound(bound);
                const int result = ScanMailObject(fd, budget, size, 1, "client.eml");
                MemSetFailureBound(0);
                return result;
            },
            [&] {
                CreateMemoryFileList();
                AddMemoryFile(mail.data(), static_cast<uint32_t>(mail.size()), "client.eml");
            });
    }

    void ExpectNoMemoryAnswer(const WalkRun& run, const std::string& name, const char* what) {
        EXPECT_EQ(static_cast<int>(kMailNoMemory), run.left.result) << what;
        EXPECT_EQ(kNoMemoryWord, run.word) << std::hex << run.word << " " << what;
        EXPECT_TRUE(run.found.empty()) << what;
        EXPECT_NE(std::string::npos, run.log.find(name + " - no memory!\n")) << what << "\n" << run.log;
        ExpectClean(run, what);
    }
};

// Where the walk runs out: while it parses or decodes the message, or at a size no string can hold.
// The counted allocator's bound stands in for exhausted memory (it works under the sanitizers too).
TEST_F(MailWalkMemory, OutOfMemoryIsAnsweredAsAnErrorAndTheProcessGoesOn) {
    const std::string mail = MailWithAttachment(256 * 1024);
    const uint32_t size = static_cast<uint32_t>(mail.size());
    const struct {
        const char* what;
        uint32_t size;
        size_t bound; // 0: none
    } cases[] = {
        {"less memory than the message", size, mail.size() / 2},
        // The client's object is parsed where it lies: what the walk takes first is the tree.
        {"memory for the tree, not for the decoded part", size, mail.size() / 8},
        {"2^31 bytes", 0x80000000u, 0},
        {"2^32 - 1 bytes", 0xFFFFFFFFu, 0},
        {"past the longest string",
         static_cast<uint32_t>(std::min<size_t>(std::string().max_size() + 1, 0x7FFFFFFF)), 0},
    };
    for (const auto& c : cases) {
        const WalkRun run = ScanObject(mail, c.size, c.bound);
        ExpectNoMemoryAnswer(run, "client.eml", c.what);
    }
    // With memory enough the same message is walked and found clean.
    const WalkRun run = ScanObject(mail, size, 0);
    EXPECT_EQ(0, run.left.result);
    EXPECT_EQ(0x100000u, run.word) << std::hex << run.word;
}

// Every level of a nested message used to hold a copy of all below it, twice: 33 MB of mail under 64
// levels took the 32-bit walk past its address space. Now the walk holds the message once, with the
// decoded part and the engine's object of it: a bound on bytes of a few times the message.
TEST_F(MailWalkMemory, AMessageNestedToTheLimitTakesAFewTimesItsSize) {
    const std::string mail = Nested(kDwMaxNesting - 2, MailWithAttachment(1 << 20));
    const WalkRun run = ScanObject(mail, static_cast<uint32_t>(mail.size()), 4 * mail.size());
    EXPECT_EQ(0, run.left.result);
    EXPECT_EQ(0x100000u, run.word) << std::hex << run.word;
    EXPECT_NE(std::string::npos, run.log.find("client.eml/big.bin - Ok")) << run.log;
}

// A part that cannot be decoded for want of memory must not pass for one that decoded to nothing
// (which the walk would leave unscanned): every decoder hands the failure on.
TEST_F(MailWalkMemory, DecodersHandTheLackOfMemoryOn) {
    const std::string body = MailWithAttachment(64 * 1024);
    for (const int cte : {kCteBase64, kCteQuotedPrintable, kCteUuencode}) {
        std::string decoded;
        MemSetFailureBound(body.size() / 4);
        bool threw = false;
        try {
            DecodePartBody("part", cte, body, decoded);
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        MemSetFailureBound(0);
        EXPECT_TRUE(threw) << cte;
    }
}

#ifndef __SANITIZE_ADDRESS__
// The address space the process uses now, in bytes; 0 when it cannot be read.
size_t AddressSpace() {
    FILE* f = fopen("/proc/self/statm", "r");
    if (!f) return 0;
    unsigned long pages = 0;
    const bool read = fscanf(f, "%lu", &pages) == 1;
    fclose(f);
    return read ? pages * static_cast<size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// Blocks that the tests before freed stay in the heap of the process, where the walk would find them
// whatever the limit: they are taken (and never given back) before it is set.
void TakeFreeHeap() {
    for (size_t size = 64 * 1024; size >= 64; size /= 4) {
        for (;;) {
            const size_t freeBytes = mallinfo2().fordblks;
            if (freeBytes < size || !malloc(size)) break;
            // Served by new memory: no free block of this size is left.
            if (mallinfo2().fordblks >= freeBytes) break;
        }
    }
}

// RLIMIT_AS at what the process uses now and headroom more; false when it could not be set.
bool LimitAddressSpace(size_t headroom) {
    TakeFreeHeap();
    const size_t used = AddressSpace();
    if (used == 0) return false;
    const struct rlimit limit = {used + headroom, used + headroom};
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

// Whether an address-space limit bites here (an emulator may leave it to its own process).
bool AddressSpaceLimitBites() {
    const pid_t child = fork();
    if (child == 0) {
        constexpr size_t kHeadroom = 16 << 20;
        if (!LimitAddressSpace(kHeadroom)) _exit(1);
        void* block = malloc(4 * kHeadroom);
        _exit(block ? 1 : 0);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#endif

// The same under a real limit of the address space, set in the walking child: the mail file is read
// whole, and parsing or decoding it does not fit.
TEST_F(MailWalkMemory, AnAddressSpaceLimitIsAnsweredAsAnError) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's heap ends the process when the address space runs out";
#else
    if (!AddressSpaceLimitBites()) GTEST_SKIP() << "RLIMIT_AS does not limit this process (an emulator?)";
    const std::string mail = MailWithAttachment(6 << 20);
    ASSERT_TRUE(dir.Write("mail", mail));
    const WalkRun run = ScanPath(dir / "mail", kWantFound | kWantDelete, [&] {
        if (!LimitAddressSpace(mail.size() + mail.size() / 2)) _exit(3);
    });
    ExpectNoMemoryAnswer(run, dir / "mail", "address space");
    EXPECT_EQ(mail, ReadWholeFile(dir / "mail"));
#endif
}

} // namespace
