// The requests of the three servers a benchmark drives, and the readers of their replies:
// tarvod's scan command, the baseline daemon's INSTREAM and SCAN commands, and the echo server of
// the load generator itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "objects.h"

namespace bench {

enum class Protocol { Tarvod, Clamd, Echo };

// What a reply says once it is complete.
enum class Verdict { Incomplete, Clean, Infected, Failed };

// One request as pieces to send in order: headers kept here, the object's bytes borrowed from it.
class Request {
public:
    void Own(std::string bytes) {
        owned_.push_back(std::move(bytes));
        pieces_.emplace_back(owned_.back().data(), owned_.back().size());
    }
    void Borrow(const char* data, size_t size) { pieces_.emplace_back(data, size); }
    void Clear() {
        pieces_.clear();
        owned_.clear();
    }
    const std::vector<std::pair<const char*, size_t>>& Pieces() const { return pieces_; }

private:
    std::deque<std::string> owned_; // a deque keeps the headers where they are as it grows
    std::vector<std::pair<const char*, size_t>> pieces_;
};

// The bytes a fresh persistent connection sends before its first request (the baseline's session
// opener); empty when the protocol needs none.
std::string SessionOpener(Protocol protocol);

// Appends the request for object to out: its bytes, or its server path when byPath.
void BuildRequest(Protocol protocol, const Object& object, bool byPath, Request* out);

// Reads the reply gathered so far in `in`; `text` gets what it says, for messages.
Verdict ReadReply(Protocol protocol, const Object& object, const std::string& in, std::string* text);

} // namespace bench
