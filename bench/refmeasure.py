"""How the reference scripts of the benchmarks measure, as the benchmarks measure their own side:
the median of three rounds of at least a third of a second each, in MB/s."""
import ctypes
import os
import struct
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


def _status_kb(key):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(key):
                return int(line.split()[1])
    return -1


def peak(work):
    """The peak of resident memory over what the process held before work, in a child process of its
    own whose free heap pages are given back and whose high-water mark is reset first: bytes, or 0
    when it cannot be read."""
    read_end, write_end = os.pipe()
    child = os.fork()
    if child == 0:
        os.close(read_end)
        extra = 0.0
        try:
            ctypes.CDLL(None).malloc_trim(0)
            with open("/proc/self/clear_refs", "w") as f:
                f.write("5")
            before = _status_kb("VmRSS:")
            work()
            high = _status_kb("VmHWM:")
            if before >= 0 and high >= before:
                extra = (high - before) * 1024.0
        except OSError:
            extra = 0.0
        os.write(write_end, struct.pack("d", extra))
        os._exit(0)
    os.close(write_end)
    data = os.read(read_end, 8)
    os.close(read_end)
    os.waitpid(child, 0)
    return struct.unpack("d", data)[0] if len(data) == 8 else 0.0
