// The delivery envelope that some mail transports write in front of a message.
#pragma once

#include <cstddef>
#include <string_view>

// The length of the envelope at the start of text, 0 when there is none. The lines of the leading
// block are tested one by one, each on its own: a line "P <anything><...>..." followed by a non-empty
// line starts an envelope that ends with the first empty line ("\n\n" or "\n\r\n", whichever comes
// first) and the line ends after it; a line starting with "external" starts one that ends after the
// next "env-end" and the blanks and line ends after it. An envelope after which only blanks and line
// ends remain is no envelope: the message would be lost with it. Linear in the length of text.
size_t MailEnvelopeLength(std::string_view text);
