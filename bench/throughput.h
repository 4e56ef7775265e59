// How the MIME benchmarks measure their own side (the reference programs measure alike, see
// bench/refmeasure.py and bench/gmime_measure.h): whole passes for at least 1/3 s, the median of
// three rounds, in MB/s.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>

namespace {

// bytes: what one call of work handles.
template <typename Work> double Throughput(size_t bytes, Work work) {
    using Clock = std::chrono::steady_clock;
    double rates[3];
    for (double& rate : rates) {
        size_t passes = 0;
        const auto start = Clock::now();
        std::chrono::duration<double> spent{};
        do {
            work();
            ++passes;
            spent = Clock::now() - start;
        } while (spent.count() < 1.0 / 3);
        // In floating point: passes times bytes passes 2^32 in a 32-bit process (5 000 passes of 1 MB).
        rate = static_cast<double>(passes) * static_cast<double>(bytes) / spent.count() / 1e6;
    }
    std::sort(rates, rates + 3);
    return rates[1];
}

} // namespace
