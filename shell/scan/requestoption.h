// The first option word of the scan request being served. Its top bit asks
// for adware, dialers, jokes, riskware and hacktools to be reported in their
// own classes rather than as infections.
#pragma once

#include <cstdint>

extern uint32_t RequestOptionWord;

inline bool RequestWantsExtendedClasses() {
    return (RequestOptionWord & 0x80000000u) != 0;
}
