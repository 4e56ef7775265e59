// The MIME decoders on arbitrary text: base64, quoted-printable, Q, uudecode and the decoding of
// encoded words must stay inside their input and output, and every encoder's output must decode
// back to the bytes it was given.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "mail/mime/base64.h"
#include "mail/mime/decodewords.h"
#include "mail/mime/qcodec.h"
#include "mail/mime/quotedprintable.h"
#include "mail/mime/uuencode.h"

namespace {

void Decoders(const std::string& input) {
    std::string out;
    for (bool collapseCr : {false, true}) {
        Base64Decode(input, out, collapseCr);
        if (out.size() > input.size() / 4 * 3 + 2) Fault("base64 gave more bytes than its symbols hold");
        QpDecode(input, out, collapseCr);
        UuDecode(input, out, collapseCr);
    }
    QDecode(input, out);
    if (out.size() > input.size()) Fault("Q decoding grew the text");

    std::vector<char> text(input.begin(), input.end());
    text.push_back('\0');
    const size_t before = strlen(text.data());
    DecodeEncodedWords(text.data(), "koi8-r");
    if (strlen(text.data()) > before) Fault("decoding encoded words grew the text");
}

void RoundTrips(const std::string& input) {
    std::string encoded, decoded;
    if (Base64Encode(input, encoded) != 0 || Base64Decode(encoded, decoded, false) != 0 || decoded != input)
        Fault("base64 round trip");
    if (Base64EncodeWord(input, encoded) != 0 || Base64Decode(encoded, decoded, false) != 0 || decoded != input)
        Fault("base64 word round trip");
    if (QpEncode(input, encoded) != 0 || QpDecode(encoded, decoded, false) != 0 || decoded != input)
        Fault("quoted-printable round trip");
    for (size_t start = 0, end; start < encoded.size(); start = end + 2) {
        end = encoded.find("\r\n", start);
        if (end == std::string::npos) end = encoded.size();
        if (end - start > 76) Fault("quoted-printable line over 76 characters");
    }
    if (QEncode(input, encoded) != 0 || QDecode(encoded, decoded) != 0 || decoded != input) Fault("Q round trip");
    if (!UuEncode(input, encoded, "fuzz") || UuDecode(encoded, decoded, false) != 0 || decoded != input)
        Fault("uuencode round trip");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    Decoders(input);
    RoundTrips(input);
    return 0;
}
