#include "objects.h"

#include <cstdint>
#include <cstdio>

namespace bench {

namespace {

// Put together here so that no file of the sources holds the test string itself.
std::string TestFileText() {
    return std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR") + "-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
}

} // namespace

std::string MakeObjectData(size_t size, bool infected) {
    std::string data(size, '\0');
    // Printable text lines from a fixed-seed generator: no container header, nothing to unpack.
    uint32_t state = 0x2545F491u;
    for (size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        data[i] = (i % 64 == 63) ? '\n' : static_cast<char>('a' + state % 26);
    }
    if (infected) {
        const std::string head = TestFileText().substr(0, size);
        data.replace(0, head.size(), head);
    }
    return data;
}

bool MakeObject(size_t size, bool infected, const std::string& dir, Object* out) {
    const std::string name = std::string(infected ? "infected-" : "clean-") + std::to_string(size) + ".txt";
    out->name = name;
    out->infected = infected;
    out->data = MakeObjectData(size, infected);
    out->path.clear();
    if (dir.empty()) return true;
    out->path = dir + "/" + name;
    FILE* f = fopen(out->path.c_str(), "wb");
    if (!f) return false;
    const bool written = fwrite(out->data.data(), 1, out->data.size(), f) == out->data.size();
    return fclose(f) == 0 && written;
}

} // namespace bench
