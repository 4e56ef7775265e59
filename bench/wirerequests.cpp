#include "wirerequests.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

namespace bench {

namespace {

constexpr uint32_t kScanCommand = 1;
constexpr uint32_t kWantFindings = 0x1; // the found list, as the baseline always names its finding
constexpr uint32_t kInfectedBit = 0x20;
constexpr uint32_t kNothingFoundBit = 0x100000;
constexpr size_t kChunk = 64 * 1024; // INSTREAM chunk size

void PutWord(std::string& out, uint32_t word) {
    const uint32_t wire = htonl(word);
    out.append(reinterpret_cast<const char*>(&wire), sizeof wire);
}

bool GetWord(const std::string& in, size_t& at, uint32_t* word) {
    if (in.size() - at < 4) return false;
    uint32_t wire = 0;
    memcpy(&wire, in.data() + at, 4);
    at += 4;
    *word = ntohl(wire);
    return true;
}

Verdict ReadTarvodReply(const std::string& in, std::string* text) {
    size_t at = 0;
    uint32_t result = 0, count = 0;
    if (!GetWord(in, at, &result) || !GetWord(in, at, &count)) return Verdict::Incomplete;
    std::string names;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!GetWord(in, at, &length)) return Verdict::Incomplete;
        if (length > (1u << 20)) return Verdict::Failed;
        if (in.size() - at < length) return Verdict::Incomplete;
        names += (names.empty() ? "" : ", ") + std::string(in.c_str() + at);
        at += length;
    }
    char word[16];
    snprintf(word, sizeof word, "0x%x", result);
    *text = std::string("result ") + word + (names.empty() ? "" : " " + names);
    if (result & kInfectedBit) return Verdict::Infected;
    if (result & kNothingFoundBit) return Verdict::Clean;
    return Verdict::Failed;
}

Verdict ReadClamdReply(const std::string& in, std::string* text) {
    const size_t end = in.find('\0');
    if (end == std::string::npos) return in.size() > 4096 ? Verdict::Failed : Verdict::Incomplete;
    *text = in.substr(0, end);
    auto endsWith = [&](const char* tail) {
        const size_t n = strlen(tail);
        return text->size() >= n && text->compare(text->size() - n, n, tail) == 0;
    };
    if (endsWith(" FOUND")) return Verdict::Infected;
    if (endsWith(": OK")) return Verdict::Clean;
    return Verdict::Failed;
}

} // namespace

std::string SessionOpener(Protocol protocol) {
    return protocol == Protocol::Clamd ? std::string("zIDSESSION", 11) : std::string();
}

void BuildRequest(Protocol protocol, const Object& object, bool byPath, Request* out) {
    std::string head;
    switch (protocol) {
    case Protocol::Tarvod: {
        // A size of 0 makes the name a path on the server.
        const std::string& name = byPath ? object.path : object.name;
        PutWord(head, kScanCommand);
        PutWord(head, kWantFindings);
        PutWord(head, static_cast<uint32_t>(name.size() + 1));
        head.append(name.c_str(), name.size() + 1);
        PutWord(head, byPath ? 0 : static_cast<uint32_t>(object.data.size()));
        out->Own(std::move(head));
        if (!byPath) out->Borrow(object.data.data(), object.data.size());
        return;
    }
    case Protocol::Clamd:
        if (byPath) {
            out->Own("zSCAN " + object.path + std::string(1, '\0'));
            return;
        }
        out->Own(std::string("zINSTREAM", 10));
        for (size_t at = 0; at < object.data.size(); at += kChunk) {
            const size_t n = object.data.size() - at < kChunk ? object.data.size() - at : kChunk;
            std::string length;
            PutWord(length, static_cast<uint32_t>(n));
            out->Own(std::move(length));
            out->Borrow(object.data.data() + at, n);
        }
        head.clear();
        PutWord(head, 0);
        out->Own(std::move(head));
        return;
    case Protocol::Echo:
        PutWord(head, static_cast<uint32_t>(object.data.size()));
        out->Own(std::move(head));
        out->Borrow(object.data.data(), object.data.size());
        return;
    }
}

Verdict ReadReply(Protocol protocol, const Object& object, const std::string& in, std::string* text) {
    switch (protocol) {
    case Protocol::Tarvod:
        return ReadTarvodReply(in, text);
    case Protocol::Clamd:
        return ReadClamdReply(in, text);
    case Protocol::Echo: {
        size_t at = 0;
        uint32_t size = 0;
        if (!GetWord(in, at, &size)) return Verdict::Incomplete;
        *text = "echo " + std::to_string(size);
        // The echo server knows nothing: the object counts as what it is.
        if (size != object.data.size()) return Verdict::Failed;
        return object.infected ? Verdict::Infected : Verdict::Clean;
    }
    }
    return Verdict::Failed;
}

} // namespace bench
