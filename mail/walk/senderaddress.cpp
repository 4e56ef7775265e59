#include "mail/walk/senderaddress.h"

#include <cstring>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Four numbers 0..255 joined by '.', nothing else: true with the address.
bool ReadDottedQuad(const std::string& run, uint32_t* address) {
    uint32_t value = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= run.size() || run[at] != '.') return false;
            ++at;
        }
        uint32_t number = 0;
        size_t digits = 0;
        while (at < run.size() && IsDigit(run[at]) && digits < 4) {
            number = number * 10 + static_cast<uint32_t>(run[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || number > 255) return false;
        value = value << 8 | number;
    }
    if (at != run.size()) return false;
    *address = value;
    return true;
}

bool IsLoopback(uint32_t a) {
    return (a >> 24) == 127;
}

bool IsPrivate(uint32_t a) {
    return (a >> 24) == 10 || (a >> 20) == ((172u << 4) | 1u) || (a >> 16) == ((192u << 8) | 168u);
}

} // namespace

ClauseAddress AddressOfFromClause(const std::string& from, uint32_t* address) {
    const size_t paren = from.rfind(')');
    if (paren == std::string::npos || paren == 0) return ClauseAddress::kNone;
    const size_t bracket = from.rfind(']', paren - 1);
    if (bracket == std::string::npos) return ClauseAddress::kNone;
    size_t end = bracket; // one past the last digit
    while (end > 0 && !IsDigit(from[end - 1])) --end;
    if (end == 0) return ClauseAddress::kNone;
    size_t begin = end;
    while (begin > 0 && (IsDigit(from[begin - 1]) || from[begin - 1] == '.')) --begin;
    if (begin == 0) return ClauseAddress::kNone;
    const char before = from[begin - 1];
    if (before != '[' && !strchr(" \t\r\n\v\f", before)) return ClauseAddress::kNone;
    const size_t length = end - begin;
    if (length < 7 || length > 15) return ClauseAddress::kEndSearch;
    return ReadDottedQuad(from.substr(begin, length), address) ? ClauseAddress::kFound : ClauseAddress::kNone;
}

uint32_t SenderAddressOfClauses(const std::vector<std::string>& fromClausesLastFirst) {
    uint32_t result = 0;
    for (const std::string& from : fromClausesLastFirst) {
        uint32_t address = 0;
        const ClauseAddress found = AddressOfFromClause(from, &address);
        if (found == ClauseAddress::kEndSearch) break;
        if (found == ClauseAddress::kNone) continue;
        if (IsLoopback(address)) {
            if (result == 0) result = address;
        } else if (IsPrivate(address)) {
            result = address;
        } else {
            return address;
        }
    }
    return result;
}
