// Object names as they appear in report lines, with non-printable bytes made
// visible.
#pragma once

#include <cstddef>

// How names are shown: RecodeNonprintable off escapes control characters C
// style; on, a name with a non-printable byte is recoded by RecodeMode.
extern int RecodeNonprintable;
enum : int {
    RecodeQuotedPrintable = 0, // "=" and two hexadecimal digits
    RecodeReplace = 3,         // RecodeChar in place of the byte
};
extern int RecodeMode;
extern char RecodeChar;

// The text FormatNameForLog puts for name under the settings above. Escaped
// forms go into out, cut at a whole escape when they do not fit in outSize
// bytes; a name that needs no change is answered itself.
const char* FormatNameText(const char* name, char* out, size_t outSize);

// name with each non-printable byte as "=" and two upper-case hexadecimal
// digits, cut at a whole escape to fit outSize bytes; returns out.
char* HexEscapeName(const char* name, char* out, size_t outSize);

// The size of the text the report line gets for an escaped name.
constexpr size_t kNameTextSize = 4096;

// Starts the report line afresh with name, formatted as FormatNameText says.
void FormatNameForLog(const char* name);
