// How the MIME benchmarks measure their own side (the reference scripts measure alike, see
// bench/refmeasure.py): whole passes for at least 1/3 s, the best of three rounds, in MB/s.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

namespace {

// bytes: what one call of work handles.
template <typename Work> double Throughput(size_t bytes, Work work) {
    using Clock = std::chrono::steady_clock;
    double best = 0;
    for (int round = 0; round < 3; ++round) {
        size_t passes = 0;
        const auto start = Clock::now();
        std::chrono::duration<double> spent{};
        do {
            work();
            ++passes;
            spent = Clock::now() - start;
        } while (spent.count() < 1.0 / 3);
        best = std::max(best, passes * bytes / spent.count() / 1e6);
    }
    return best;
}

} // namespace
