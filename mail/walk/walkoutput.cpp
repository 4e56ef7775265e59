#include "mail/walk/walkoutput.h"

#include "unix/protocol/processprefix.h"

std::string ProcessPrefix() {
    char prefix[kProcessPrefixSize] = {};
    FormatProcessPrefix(prefix, sizeof prefix);
    return prefix;
}
