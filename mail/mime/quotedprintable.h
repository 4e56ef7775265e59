// Quoted-printable transfer encoding of bodies.
#pragma once

#include <string>
#include <string_view>

// Lines of at most 76 characters with soft line breaks; "From " and "." at the start of a line
// are escaped so that no mail transport can take them for its own. Always 0.
int QpEncode(const std::string& input, std::string& output);
// Decodes every byte of the input (NUL and 8-bit bytes are data, never syntax); -1 when a bad
// escape was met, which is kept as written. With collapseCr a CR that follows a CR is dropped.
int QpDecode(std::string_view input, std::string& output, bool collapseCr);
int QpDecode(const std::string& input, std::string& output, bool collapseCr);
