/* How the GMime sides of the MIME benchmarks measure, as the benchmarks measure their own side
   (bench/throughput.h): whole passes for at least 1/3 s, the median of three rounds, in MB/s. */
#pragma once

#include <stddef.h>
#include <time.h>

static double gmime_now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

/* bytes: what one call of work (with arg) handles. */
static double gmime_measure(void (*work)(void*), void* arg, double bytes) {
    double rates[3];
    for (int round = 0; round < 3; ++round) {
        size_t passes = 0;
        double start = gmime_now(), spent;
        do {
            work(arg);
            ++passes;
            spent = gmime_now() - start;
        } while (spent < 1.0 / 3);
        rates[round] = passes * bytes / spent / 1e6;
    }
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2 - i; ++j)
            if (rates[j] > rates[j + 1]) {
                double t = rates[j];
                rates[j] = rates[j + 1];
                rates[j + 1] = t;
            }
    return rates[1];
}
