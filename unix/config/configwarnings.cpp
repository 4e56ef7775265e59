#include "unix/config/configwarnings.h"

#include <cstdio>

#include "base/logwriter.h"
#include "base/messages.h"
#include "unix/config/cmdline.h"
#include "unix/config/configreader.h"

namespace {

constexpr uint32_t kMessageInvalidOption = 48;
constexpr uint32_t kMessageInvalidLine = 49;
constexpr uint32_t kMessageObsoleteKey = 195;
constexpr uint32_t kMessageObsoleteOption = 196;

// Fills the "%s" of a message text with the argument; "%%" gives '%'.
// Done by hand: the text is not trusted to hold no other conversion.
std::string Format(const char* format, const char* argument) {
    std::string out;
    bool filled = false;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            out += '%';
            ++p;
        } else if (p[0] == '%' && p[1] == 's' && !filled) {
            out += argument;
            filled = true;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

} // namespace

std::vector<std::string> ConfigWarningLines() {
    std::vector<std::string> lines;
    char text[kLogMessageSize];
    for (const ConfigErrorLine* e = FirstConfigError(); e; e = NextConfigError()) {
        snprintf(text, sizeof text, "%s: %u", MessageText(kMessageInvalidLine), e->line);
        lines.push_back(text);
    }
    if (FirstBadOption()) {
        snprintf(text, sizeof text, "%s!", MessageText(kMessageInvalidOption));
        lines.push_back(text);
    }
    for (const ObsoleteParameter* p = FirstObsoleteParameter(); p; p = NextObsoleteParameter())
        lines.push_back(Format(MessageText(kMessageObsoleteKey), p->name.c_str()));
    for (const char* o = FirstObsoleteOption(); o; o = NextObsoleteOption())
        lines.push_back(Format(MessageText(kMessageObsoleteOption), o));
    return lines;
}

void PrintConfigWarnings() {
    for (const std::string& line : ConfigWarningLines()) {
        PrintMessage("%s", line.c_str());
        EndMessageLine(0);
    }
}
