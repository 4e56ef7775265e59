// tarvo-mailbench [SECONDS]: the cost of the mail walk itself. A few message shapes go through
// ScanMailObject (parsed, every part decoded and scanned on its own, answered) and, next to them, the
// same bytes are scanned whole as a plain file by a scan task; both with the stand-in engine and its
// demo base, in this process. Prints messages per second and MB/s for each.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
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

std::string Text(size_t size) {
    std::string text;
    for (size_t line = 0; text.size() < size; ++line)
        text += "Line " + std::to_string(line) + " of an ordinary message body, nothing to see here.\r\n";
    text.resize(size);
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

// Runs one for at least seconds (and 3 times): the rate of runs per second.
double Rate(double seconds, const std::function<void()>& one) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    long runs = 0;
    double elapsed = 0;
    while (runs < 3 || elapsed < seconds) {
        one();
        ++runs;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    return runs / elapsed;
}

void Drain(int fd) {
    char piece[4096];
    while (read(fd, piece, sizeof piece) > 0) {
    }
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? atof(argv[1]) : 2.0;
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
    const struct {
        const char* name;
        std::string mail;
    } shapes[] = {
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
    };
    printf("%-26s %10s | %12s %10s | %12s %10s\n", "shape", "bytes", "walk msg/s", "walk MB/s", "whole obj/s",
           "whole MB/s");
    for (const auto& shape : shapes) {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 1;
        fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
        const double walk = Rate(seconds, [&] {
            CreateMemoryFileList();
            AddMemoryFile(shape.mail.data(), static_cast<uint32_t>(shape.mail.size()), kObjectName);
            TimeBudget budget = kUnlimitedBudget;
            ScanMailObject(fds[0], budget, static_cast<uint32_t>(shape.mail.size()), 1, kObjectName);
            FreeMemoryFiles();
            Drain(fds[1]);
        });
        close(fds[0]);
        close(fds[1]);
        const std::string path = dir / "whole.eml";
        std::ofstream(path, std::ios::binary) << shape.mail;
        const double whole = Rate(seconds, [&] {
            ScanTask task(MainSettings, 0, kScanStackBudget);
            task.Scan(path.c_str(), 0);
        });
        const double mb = shape.mail.size() / 1e6;
        printf("%-26s %10zu | %12.1f %10.2f | %12.1f %10.2f\n", shape.name, shape.mail.size(), walk,
               walk * mb, whole, whole * mb);
    }
    return 0;
}
