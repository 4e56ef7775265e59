/* How the GMime sides of the MIME benchmarks measure, as the benchmarks measure their own side
   (bench/throughput.h): whole passes for at least 1/3 s, the median of three rounds, in MB/s. */
#pragma once

#include <malloc.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

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

static inline long gmime_status_kb(const char* key) {
    FILE* f = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    if (!f) return -1;
    while (fgets(line, sizeof line, f))
        if (strncmp(line, key, strlen(key)) == 0) kb = atol(line + strlen(key));
    fclose(f);
    return kb;
}

/* The peak of resident memory over what the process held before work (with arg), in a child process
   of its own whose free heap pages are given back and whose high-water mark is reset first: bytes,
   or 0 when it cannot be read. */
static inline double gmime_peak(void (*work)(void*), void* arg) {
    int fds[2];
    double extra = 0;
    pid_t child;
    if (pipe(fds) != 0) return 0;
    child = fork();
    if (child == 0) {
        FILE* clear;
        malloc_trim(0);
        clear = fopen("/proc/self/clear_refs", "w");
        int reset = clear && fputs("5", clear) >= 0 && fclose(clear) == 0;
        long before = gmime_status_kb("VmRSS:"), peak;
        work(arg);
        peak = gmime_status_kb("VmHWM:");
        extra = reset && before >= 0 && peak >= before ? (peak - before) * 1024.0 : 0;
        if (write(fds[1], &extra, sizeof extra) != (ssize_t)sizeof extra) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    if (child < 0 || read(fds[0], &extra, sizeof extra) != (ssize_t)sizeof extra) extra = 0;
    close(fds[0]);
    if (child > 0) waitpid(child, NULL, 0);
    return extra;
}
