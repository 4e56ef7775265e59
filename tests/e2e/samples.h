// Objects for the scan requests of the tests.
#pragma once

#include <string>

namespace e2e {

// The standard anti-virus test file, put together here so that no file of the sources holds it.
inline std::string Eicar() {
    return std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR") + "-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
}

inline std::string CleanText() {
    return "An ordinary text, nothing to find in it.\n";
}

constexpr uint32_t kInfectedBit = 0x20;
constexpr uint32_t kNothingFoundBit = 0x100000;

} // namespace e2e
