// The file types scanned when the configuration names none.
#pragma once

#include <cstddef>

constexpr size_t kDefaultExtensionCount = 77;
// Extension patterns, upper case; '?' and '*' are wildcards.
extern const char* const DefaultExtensions[kDefaultExtensionCount];

// Whether ext (an extension without its dot) matches one of them, without case.
bool MatchesDefaultExtension(const char* ext);
