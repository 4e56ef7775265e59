// tarvo-mailbench [SECONDS [SHAPE...]]: the cost of the mail walk itself. A few message shapes go through
// ScanMailObject (parsed, every part decoded and scanned on its own, answered) and, next to them, the
// same bytes are scanned whole as one object by a scan task; both start from the message held in a
// memory file, as the daemon holds a client's object, with the stand-in engine and its demo base, in
// this process. Prints messages per second and MB/s for each, and the walk's cost as
// a multiple of the whole scan's.
// tarvo-mailbench --instructions [SHAPE...]: the same two counted in instructions (one walk, one
// whole scan, each after one of its kind to warm up), which come out the same on any machine, loaded
// or not: under valgrind's callgrind, or, where valgrind cannot run the program (a kernel without
// 32-bit support, where the program runs emulated) or TARVO_COUNTER=qemu asks for it, under qemu-i386
// with the plugin built beside this program (qemucount.c).
// tarvo-mailbench --once walk|whole SHAPE: one of each for such a count (what --instructions runs).
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "base/logwriter.h"
#include "mail/mime/base64.h"
#include "mail/walk/mailwalk.h"
#include "shell/host/memfile.h"
#include "shell/scan/requestoption.h"
#include "shell/scan/scantask.h"
#include "tests/base/scratch_dir.h"
#include "tests/unix/engine_fixture.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/settingslife.h"

namespace {

constexpr char kObjectName[] = "bench.eml";

// Lines of text, cut to size but never between the CR and LF of a line end: a lone CR is read
// another way by some readers, and the walk would walk such a message twice.
std::string Text(size_t size) {
    std::string text;
    for (size_t line = 0; text.size() < size; ++line)
        text += "Line " + std::to_string(line) + " of an ordinary message body, nothing to see here.\r\n";
    text.resize(size);
    if (text.back() == '\r') text.back() = '.';
    return text;
}

std::string Attachment(const std::string& data, const char* name) {
    std::string encoded;
    Base64Encode(data, encoded);
    return std::string("Content-Type: application/octet-stream; name=\"") + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + encoded;
}

std::string Mixed(const std::vector<std::string>& parts, const char* boundary = "BB") {
    std::string text = std::string("From: a@example.org\r\nSubject: bench\r\nContent-Type: multipart/mixed; "
                                   "boundary=\"") +
                       boundary + "\"\r\n\r\n";
    for (const std::string& part : parts) text += std::string("--") + boundary + "\r\n" + part + "\r\n";
    return text + "--" + boundary + "--\r\n";
}

// Runs setup, one and finish for at least seconds (and 3 times): the rate of runs of one per second,
// setup and finish not timed.
double Rate(double seconds, const std::function<void()>& setup, const std::function<void()>& one,
            const std::function<void()>& finish) {
    using Clock = std::chrono::steady_clock;
    long runs = 0;
    double elapsed = 0;
    while (runs < 3 || elapsed < seconds) {
        setup();
        const auto start = Clock::now();
        one();
        elapsed += std::chrono::duration<double>(Clock::now() - start).count();
        finish();
        ++runs;
    }
    return runs / elapsed;
}

void Drain(int fd) {
    char piece[4096];
    while (read(fd, piece, sizeof piece) > 0) {
    }
}

struct Shape {
    const char* name;
    std::string mail;
};

std::vector<Shape> Shapes() {
    return {
        {"text 4 KB",
         "From: a@example.org\r\nSubject: bench\r\nContent-Type: text/plain\r\n\r\n" + Text(4096)},
        {"text + 64 KB attachment",
         Mixed({"Content-Type: text/plain\r\n\r\n" + Text(2048), Attachment(Text(65536), "a.bin")})},
        {"10 attachments of 8 KB",
         [] {
             std::vector<std::string> parts;
             for (int i = 0; i < 10; ++i) parts.push_back(Attachment(Text(8192), "p.bin"));
             return Mixed(parts);
         }()},
        {"nested, 1 MB attachment", Mixed({"Content-Type: text/plain\r\n\r\nforwarded\r\n",
                                           "Content-Type: message/rfc822\r\n\r\n" +
                                               Mixed({Attachment(Text(1 << 20), "big.bin")}, "CC")})},
        {"10 000 small parts",
         [] {
             std::vector<std::string> parts;
             for (int i = 0; i < 10000; ++i)
                 parts.push_back("Content-Type: text/plain; charset=us-ascii\r\n\r\n" + Text(150 + i % 100));
             return Mixed(parts);
         }()},
    };
}

// The message as the daemon holds a client's object once it has read it: a memory file. Both the walk
// and the whole scan start from it; making it is the request's work, not theirs, and is not measured.
void HoldInMemory(const std::string& mail) {
    CreateMemoryFileList();
    AddMemoryFile(mail.data(), static_cast<uint32_t>(mail.size()), kObjectName);
}

// One walk of the message through ScanMailObject, its answer read and dropped after.
class Walker {
public:
    explicit Walker(const std::string& mail) : mail_(mail) {
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds_) != 0) exit(1);
        fcntl(fds_[1], F_SETFL, fcntl(fds_[1], F_GETFL) | O_NONBLOCK);
    }
    ~Walker() {
        close(fds_[0]);
        close(fds_[1]);
    }
    Walker(const Walker&) = delete;
    Walker& operator=(const Walker&) = delete;

    void Prepare() const { HoldInMemory(mail_); }
    void Walk() const {
        TimeBudget budget = kUnlimitedBudget;
        ScanMailObject(fds_[0], budget, static_cast<uint32_t>(mail_.size()), 1, kObjectName);
    }
    void Finish() const {
        FreeMemoryFiles();
        Drain(fds_[1]);
    }

private:
    const std::string& mail_;
    int fds_[2];
};

// The same memory object scanned whole by a scan task, as the daemon scans a client's object.
void WholeScan() {
    ScanTask task(MainSettings, 0, kScanStackBudget);
    task.Scan(kObjectName, 0);
}

// What callgrind counts (--toggle-collect): kept out of line under these names. The plugin for qemu
// counts between two calls of sched_yield, which nothing else in the program makes.
void Mark() {
    syscall(SYS_sched_yield);
}
__attribute__((noinline)) void CountedWalk(const Walker& walk) {
    Mark();
    walk.Walk();
    Mark();
}
__attribute__((noinline)) void CountedWholeScan() {
    Mark();
    WholeScan();
    Mark();
}

// The number that follows key in what command printed, or -1.
long long CountFromOutput(const std::string& command, const char* key) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    long long count = -1;
    char line[1024];
    while (fgets(line, sizeof line, pipe)) {
        const char* at = strstr(line, key);
        if (at) count = atoll(at + strlen(key));
    }
    pclose(pipe);
    return count;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

std::string Arguments(const std::vector<std::string>& arguments) {
    std::string out;
    for (const std::string& argument : arguments) out += " " + Quoted(argument);
    return out;
}

// The instructions counted in function of a run of this program with arguments, or -1; *counter
// becomes the name of what counted them.
long long CountInstructions(const char* self, const char* function, const std::vector<std::string>& arguments,
                            const char** counter) {
    const char* asked = getenv("TARVO_COUNTER");
    const bool qemu = asked && strcmp(asked, "qemu") == 0;
    if (!qemu) {
        *counter = "callgrind";
        const long long count =
            CountFromOutput("valgrind --tool=callgrind --callgrind-out-file=/dev/null --toggle-collect='" +
                                std::string(function) + "' " + Quoted(self) + Arguments(arguments) + " 2>&1",
                            "Collected : ");
        if (count >= 0 || asked) return count;
    }
    *counter = "qemu-i386";
    std::string plugin = self;
    plugin = plugin.substr(0, plugin.find_last_of('/') + 1) + "libtarvo-qemucount.so";
    return CountFromOutput("qemu-i386 -d plugin -plugin " + Quoted(plugin) + " " + Quoted(self) +
                               Arguments(arguments) + " 2>&1",
                           "counted ");
}

} // namespace

int main(int argc, char** argv) {
    const bool instructions = argc > 1 && strcmp(argv[1], "--instructions") == 0;
    const bool once = argc > 3 && strcmp(argv[1], "--once") == 0;
    if (instructions) {
        const char* counter = "callgrind";
        printf("%-26s %10s | %16s %16s %8s %12s\n", "shape", "bytes", "walk instr.", "whole instr.", "ratio",
               "walk/part");
        for (const Shape& shape : Shapes()) {
            bool wanted = argc == 2;
            for (int i = 2; i < argc; ++i) wanted = wanted || strcmp(argv[i], shape.name) == 0;
            if (!wanted) continue;
            const long long walk =
                CountInstructions(argv[0], "*CountedWalk*", {"--once", "walk", shape.name}, &counter);
            const long long whole =
                CountInstructions(argv[0], "*CountedWholeScan*", {"--once", "whole", shape.name}, &counter);
            // The leaves: every Content-Type but those of multiparts and messages.
            const auto count = [&](const char* what) {
                size_t n = 0;
                for (size_t at = shape.mail.find(what); at != std::string::npos;
                     at = shape.mail.find(what, at + 1))
                    ++n;
                return n;
            };
            const size_t parts =
                std::max<size_t>(1, count("Content-Type: ") - count("Content-Type: multipart/") -
                                        count("Content-Type: message/"));
            printf("%-26s %10zu | %16lld %16lld %8.2f %12.0f\n", shape.name, shape.mail.size(), walk, whole,
                   whole > 0 ? double(walk) / double(whole) : 0.0, double(walk - whole) / double(parts));
        }
        printf("(instructions counted by %s; walk/part: the walk's instructions beyond the whole scan "
               "per part)\n",
               counter);
        return 0;
    }
    const double seconds = argc > 1 && !once ? atof(argv[1]) : 2.0;
    if (CreateSettings() != 0) return 1;
    StandInEngine engine;
    if (engine.Records() == 0) {
        fprintf(stderr, "mailbench: the stand-in engine did not start\n");
        return 1;
    }
    ScratchDir dir;
    snprintf(TempPath, sizeof TempPath, "%s", dir.path().c_str());
    BackupFilesTo[0] = '\0';
    LogToSyslog = 0;
    LogToFile = 0;
    RunningAsDaemon = 1;
    RequestOptionWord = 1; // the found list
    const std::vector<Shape> shapes = Shapes();
    if (once) {
        for (const Shape& shape : shapes) {
            if (strcmp(shape.name, argv[3]) != 0) continue;
            if (strcmp(argv[2], "walk") == 0) {
                Walker walk(shape.mail);
                walk.Prepare();
                walk.Walk();
                walk.Finish();
                walk.Prepare();
                CountedWalk(walk);
                walk.Finish();
            } else {
                HoldInMemory(shape.mail);
                WholeScan();
                CountedWholeScan();
                FreeMemoryFiles();
            }
            return 0;
        }
        fprintf(stderr, "mailbench: no shape \"%s\"\n", argv[3]);
        return 2;
    }
    printf("%-26s %10s | %12s %10s | %12s %10s | %6s\n", "shape", "bytes", "walk msg/s", "walk MB/s",
           "whole obj/s", "whole MB/s", "ratio");
    for (const Shape& shape : shapes) {
        bool wanted = argc <= 2;
        for (int i = 2; i < argc; ++i) wanted = wanted || strcmp(argv[i], shape.name) == 0;
        if (!wanted) continue;
        const Walker walker(shape.mail);
        const double walk = Rate(
            seconds, [&] { walker.Prepare(); }, [&] { walker.Walk(); }, [&] { walker.Finish(); });
        HoldInMemory(shape.mail);
        const double whole = Rate(
            seconds, [] {}, [] { WholeScan(); }, [] {});
        FreeMemoryFiles();
        const double mb = shape.mail.size() / 1e6;
        printf("%-26s %10zu | %12.1f %10.2f | %12.1f %10.2f | %6.2f\n", shape.name, shape.mail.size(), walk,
               walk * mb, whole, whole * mb, whole / walk);
    }
    printf("(ratio: the time of a walk over the time of a whole scan of the same bytes)\n");
    return 0;
}
