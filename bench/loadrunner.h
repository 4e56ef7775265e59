// K concurrent connections that send one object again and again, driven by poll from one thread:
// a warm-up until every connection has had one reply, a measuring window, then a drain that lets
// the requests under way end. Every wait is bounded.
#pragma once

#include <string>
#include <vector>

#include "objects.h"
#include "sockets.h"
#include "wirerequests.h"

namespace bench {

struct Target {
    Protocol protocol = Protocol::Tarvod;
    bool byPath = false; // name a server path instead of sending the bytes
    Address address;
};

struct LoadOptions {
    int connections = 1;
    bool persistent = true; // false: one connection per request
    double seconds = 2;     // the window lasts at least this long...
    long minReplies = 5;    // ...and until this many replies came in it...
    double maxSeconds = 30; // ...but never longer than this
    int requestTimeoutSeconds = 120;
};

struct LoadResult {
    long replies = 0;       // replies that came within the window
    long failures = 0;      // requests that got no reply (all phases)
    long wrongVerdicts = 0; // replies that did not say what the object is (all phases)
    double windowSeconds = 0;
    std::vector<double> latencyMs; // of the replies in the window
    std::string firstProblem;
};

LoadResult RunLoad(const Target& target, const Object& object, const LoadOptions& options);

} // namespace bench
