// SHA-256 digest (FIPS 180-4): where two byte strings must not pass for one even when a sender
// crafts them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using Sha256Value = std::array<uint8_t, 32>;

Sha256Value Sha256Digest(const void* data, size_t length);
