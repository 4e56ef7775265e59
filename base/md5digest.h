// MD5 digest (RFC 1321).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kMd5DigestSize = 16;

// digest gets the 16-byte MD5 of length bytes of data; returns 1.
int Md5Digest(unsigned char* digest, const void* data, size_t length);
