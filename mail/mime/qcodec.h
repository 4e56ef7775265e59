// The "Q" encoding of encoded words in header fields.
#pragma once

#include <cstddef>
#include <string>

// Encodes length bytes into buffer (size bytes; may be null when size is 0): only what fits is
// stored, *encodedLength receives the whole encoded length, and a NUL follows when there is room.
// -1 when input is null, else 0.
int QEncodeBuffer(const char* input, size_t length, char* buffer, size_t size, size_t* encodedLength);
// Always 0.
int QEncode(const std::string& input, std::string& output);
// -1 when an '=' does not start an escape (it is kept as written), else 0.
int QDecode(const std::string& input, std::string& output);
