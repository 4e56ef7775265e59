#include "unix/protocol/wirelog.h"

#include <cstdarg>
#include <cstdio>

#include "base/logwriter.h"
#include "base/messages.h"
#include "unix/protocol/processprefix.h"

void LogProtocolLine(const char* fmt, ...) {
    char prefix[kProcessPrefixSize];
    FormatProcessPrefix(prefix, sizeof prefix);
    char text[1024];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    PrintMessage("%s%s", prefix, text);
    EndMessageLine(0);
}

const char* ProtocolMessage(int number) {
    return MessageText(static_cast<uint32_t>(number));
}
