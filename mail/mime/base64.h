// Base64 transfer encoding of bodies and of "B" encoded words.
#pragma once

#include <string>
#include <string_view>

// Body form: 76-character lines, each ended by CR LF; the output always ends with CR LF. 0, or -1
// when the output buffer cannot be had.
int Base64Encode(const std::string& input, std::string& output);
// One line without line breaks, for encoded words. 0, or -1 as above.
int Base64EncodeWord(const std::string& input, std::string& output);
// Decodes what it can; -1 when a line held a byte outside the alphabet (that line is left out).
// With collapseCr a decoded CR that follows a CR is dropped.
int Base64Decode(std::string_view input, std::string& output, bool collapseCr);
int Base64Decode(const std::string& input, std::string& output, bool collapseCr);
