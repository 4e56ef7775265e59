// The language-file reader on arbitrary files, the text read plain and splay-coded: whatever the
// file holds, the message table afterwards holds either all of its texts or the built-in ones.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/langfile.h"
#include "base/messages.h"
#include "base/splaycode.h"
#include "fuzz/fuzz_support.h"

namespace {

std::string& FilePath() {
    static std::string path;
    return path;
}

void RemoveFile() {
    if (!FilePath().empty()) unlink(FilePath().c_str());
}

bool WriteFile(const uint8_t* data, size_t size) {
    FILE* f = fopen(FilePath().c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CreateMessageCatalogue();
    char name[] = "/tmp/tarvo-langfile-fuzz-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) Fault("no file to fuzz in");
    close(fd);
    FilePath() = name;
    atexit(RemoveFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!WriteFile(data, size)) Fault("the input could not be written");
    const int descriptors = OpenDescriptors();
    for (int packed = 0; packed <= 1; ++packed) {
        LanguageFilePacked = packed;
        const int counted = CountLanguageMessages(FilePath().c_str());
        const int loaded = LoadLanguageFile(FilePath().c_str());
        if (counted != loaded) Fault("counting and loading disagree");
        if (SplayCurrentTables()) Fault("the decoder was not freed");
        for (uint32_t n = 0; n < kMessageCount; ++n)
            if (strlen(MessageText(n)) > (loaded ? kLanguageMessageMax : kMessageBufferSize - 1))
                Fault("a message too long");
        if (!loaded && strcmp(MessageText(7), "Yes") != 0) Fault("a refused file left its texts");
        LoadDefaultMessages();
    }
    if (OpenDescriptors() != descriptors) Fault("a descriptor was left open");
    return 0;
}
