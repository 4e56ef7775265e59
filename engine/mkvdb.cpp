// tarvo-mkvdb LIST OUTPUT: writes the base file that a signature list
// describes (engine/vdbwriter.h gives the list's form).
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/vdbwriter.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tarvo-mkvdb LIST OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "tarvo-mkvdb: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    VdbBase base;
    std::string error;
    if (ParseSignatureList(text.str(), base, error) != 0) {
        std::fprintf(stderr, "tarvo-mkvdb: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (WriteBaseFile(argv[2], base, error) != 0) {
        std::fprintf(stderr, "tarvo-mkvdb: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
