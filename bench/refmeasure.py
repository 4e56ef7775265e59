"""How the reference scripts of the benchmarks measure, as the benchmarks measure their own side:
the median of three rounds of at least a third of a second each, in MB/s."""
import time


def measure(work, size):
    rates = []
    for _ in range(3):
        passes = 0
        start = time.perf_counter()
        while True:
            work()
            passes += 1
            spent = time.perf_counter() - start
            if spent >= 1.0 / 3:
                break
        rates.append(passes * size / spent / 1e6)
    return sorted(rates)[1]
