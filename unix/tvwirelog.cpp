#include "unix/tvwirelog.h"

#include <cstdarg>
#include <cstdio>

#include "base/messages.h"
#include "unix/tvprocprefix.h"

void LogProtocolLine(const char* fmt, ...) {
    char prefix[kProcessPrefixSize];
    FormatProcessPrefix(prefix, sizeof prefix);
    char text[1024];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    fprintf(stderr, "%s%s\n", prefix, text);
}

const char* ProtocolMessage(int number) {
    switch (number) {
    case 119:
        return "Error writing to socket (timeout)!";
    case 120:
        return "Error writing to socket (%s)!";
    case 121:
        return "Error reading from socket (timeout)!";
    case 122:
        return "Error reading from socket (%s)!";
    case 136:
        return "Unknown command received: %d!";
    default:
        return "";
    }
}
