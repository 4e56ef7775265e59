// tarvo-load: one cell of the benchmark. Drives K connections against tarvod, the baseline daemon
// or its own echo server with one object, and prints one line of key=value figures: replies per
// second, MB/s, latency percentiles and the peak memory of the daemon's processes.
//
//   tarvo-load --target=tarvod|clamd|echo (--socket=PATH | --tcp=PORT) --size=BYTES [--infected]
//              [--via=data|path --objects=DIR] [--conns=K] [--mode=persistent|per-request]
//              [--seconds=S] [--max-seconds=S] [--min-replies=N] [--timeout=S] [--pid=PID]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "echoserver.h"
#include "loadrunner.h"
#include "objects.h"
#include "procmemory.h"

namespace {

using namespace bench;

int Usage(const char* why) {
    fprintf(stderr, "tarvo-load: %s\n", why);
    fprintf(stderr, "usage: tarvo-load --target=tarvod|clamd|echo (--socket=PATH | --tcp=PORT) --size=BYTES\n"
                    "       [--infected] [--via=data|path --objects=DIR] [--conns=K]\n"
                    "       [--mode=persistent|per-request] [--seconds=S] [--max-seconds=S]\n"
                    "       [--min-replies=N] [--timeout=S] [--pid=PID]\n");
    return 2;
}

double Percentile(std::vector<double> sorted, double p) {
    if (sorted.empty()) return 0;
    std::sort(sorted.begin(), sorted.end());
    size_t rank = static_cast<size_t>(p / 100.0 * sorted.size() + 0.999999);
    rank = std::min(std::max<size_t>(rank, 1), sorted.size());
    return sorted[rank - 1];
}

} // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (strncmp(a, "--", 2) != 0) return Usage("arguments are --key=value");
        const char* eq = strchr(a, '=');
        if (eq)
            args[std::string(a + 2, eq)] = eq + 1;
        else
            args[a + 2] = "1";
    }
    auto get = [&](const char* key, const char* fallback) {
        const auto it = args.find(key);
        return it == args.end() ? std::string(fallback) : it->second;
    };

    Target target;
    const std::string kind = get("target", "");
    if (kind == "tarvod")
        target.protocol = Protocol::Tarvod;
    else if (kind == "clamd")
        target.protocol = Protocol::Clamd;
    else if (kind == "echo")
        target.protocol = Protocol::Echo;
    else
        return Usage("--target must be tarvod, clamd or echo");
    target.address.path = get("socket", "");
    target.address.port = atoi(get("tcp", "0").c_str());
    if (target.address.path.empty() == (target.address.port == 0)) return Usage("give --socket or --tcp");
    const std::string via = get("via", "data");
    if (via != "data" && via != "path") return Usage("--via must be data or path");
    target.byPath = via == "path";
    if (target.byPath && target.protocol == Protocol::Echo) return Usage("the echo server takes data only");

    LoadOptions options;
    options.connections = atoi(get("conns", "1").c_str());
    const std::string mode = get("mode", "persistent");
    if (mode != "persistent" && mode != "per-request")
        return Usage("--mode must be persistent or per-request");
    options.persistent = mode == "persistent";
    options.seconds = atof(get("seconds", "2").c_str());
    options.maxSeconds = atof(get("max-seconds", "30").c_str());
    options.minReplies = atol(get("min-replies", "5").c_str());
    options.requestTimeoutSeconds = atoi(get("timeout", "120").c_str());
    const long long size = atoll(get("size", "-1").c_str());
    if (size < 0 || size > (1ll << 30)) return Usage("--size out of range");
    if (options.connections < 1 || options.connections > 1000) return Usage("--conns out of range");

    Object object;
    const std::string dir = get("objects", "");
    if (target.byPath && dir.empty()) return Usage("--via=path needs --objects=DIR");
    if (!MakeObject(static_cast<size_t>(size), args.count("infected") > 0, dir, &object)) {
        fprintf(stderr, "tarvo-load: cannot write the object under %s\n", dir.c_str());
        return 1;
    }

    pid_t echo = -1;
    if (target.protocol == Protocol::Echo) {
        echo = StartEchoServer(target.address.path, target.address.port);
        if (echo < 0) {
            fprintf(stderr, "tarvo-load: cannot start the echo server\n");
            return 1;
        }
    }
    const LoadResult r = RunLoad(target, object, options);
    StopEchoServer(echo);
    if (echo > 0 && !target.address.path.empty()) unlink(target.address.path.c_str());
    const MemorySample memory = SampleMemory(static_cast<pid_t>(atol(get("pid", "0").c_str())));

    const double seconds = r.windowSeconds > 0 ? r.windowSeconds : 1e-9;
    printf("target=%s via=%s size=%lld infected=%d conns=%d mode=%s replies=%ld failures=%ld wrong=%ld "
           "seconds=%.2f rps=%.1f mbps=%.2f p50_ms=%.2f p99_ms=%.2f max_ms=%.2f process_hwm_kb=%ld "
           "child_hwm_kb=%ld children=%d",
           kind.c_str(), via.c_str(), size, object.infected ? 1 : 0, options.connections, mode.c_str(),
           r.replies, r.failures, r.wrongVerdicts, r.windowSeconds, r.replies / seconds,
           r.replies * static_cast<double>(size) / seconds / 1e6, Percentile(r.latencyMs, 50),
           Percentile(r.latencyMs, 99), Percentile(r.latencyMs, 100), memory.processKb, memory.maxChildKb,
           memory.children);
    if (!r.firstProblem.empty()) {
        std::string problem = r.firstProblem;
        std::replace(problem.begin(), problem.end(), '\n', ' ');
        printf(" problem=\"%s\"", problem.c_str());
    }
    printf("\n");
    return r.replies > 0 && r.failures == 0 && r.wrongVerdicts == 0 ? 0 : 1;
}
