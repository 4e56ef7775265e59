// Bytes as hexadecimal text and back.
#pragma once

#include <cstddef>

// text gets every byte as two upper-case hexadecimal digits and a
// terminator (2 * count + 1 bytes). 0 for a null argument or a count below
// 1, else 1.
int BytesToHex(const void* data, int count, char* text);
// Reads each pair of hexadecimal digits of text as one byte into data, which
// holds size bytes. 0, with nothing written, for an empty text, one of odd
// length, a character that is not a hexadecimal digit or more bytes than
// data holds; else 1.
int HexToBytes(const char* text, void* data, size_t size);
