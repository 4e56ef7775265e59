"""How the reference scripts of the benchmarks measure, as the benchmarks measure their own side:
the best of three rounds of at least a third of a second each, in MB/s."""
import time


def measure(work, size):
    best = 0.0
    for _ in range(3):
        passes = 0
        start = time.perf_counter()
        while True:
            work()
            passes += 1
            spent = time.perf_counter() - start
            if spent >= 1.0 / 3:
                break
        best = max(best, passes * size / spent / 1e6)
    return best
