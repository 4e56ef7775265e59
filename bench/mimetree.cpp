// tarvo-mimetreebench: throughput and peak memory of the MIME message tree (parse, and parse +
// assemble) over generated mail of several shapes, next to Python's email package (compat32 parser
// and as_bytes, bench/mimetree_ref.py) and GMime 3 (bench/mimetree_gmime.c, built by
// bench/gmime-side.sh) doing the same work on the same files in the same run.
// usage: tarvo-mimetreebench [MEGABYTES] [SHAPE...]
//   MEGABYTES: the size of the mixed corpus (default 8); SHAPE: run only the shapes whose name
//   begins so (corpus, attachments, small-parts, nested, size-100KB, size-1MB, size-10MB,
//   size-100MB); all by default.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <malloc.h>
#include <memory>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench/mailtext.h"
#include "bench/throughput.h"
#include "mail/mime/base64.h"
#include "mail/mime/message.h"
#include "mail/mime/quotedprintable.h"

namespace {

std::string Binary(size_t size, std::mt19937& rng) {
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>(rng() % 7 == 0 ? rng() : rng() % 32);
    return data;
}

std::string Headers(int n, const std::string& contentType, std::mt19937& rng) {
    std::string h = "Received: from mx" + std::to_string(rng() % 100) +
                    ".example.net (mx.example.net [192.0.2.7])\r\n\tby mail.example.org with ESMTP id " +
                    std::to_string(rng()) + ";\r\n\tThu, 10 Dec 2026 10:00:00 +0100\r\n";
    h += "From: Sender " + std::to_string(n) + " <sender" + std::to_string(n) + "@example.net>\r\n";
    h += "To: someone@example.org\r\nSubject: =?utf-8?Q?report_n=C2=B0" + std::to_string(n) + "?=\r\n";
    h += "Date: Thu, 10 Dec 2026 10:00:00 +0100\r\nMessage-ID: <" + std::to_string(rng()) +
         "@example.net>\r\n";
    h += "MIME-Version: 1.0\r\nContent-Type: " + contentType + "\r\n";
    return h;
}

std::string Mixed(const std::string& boundary) {
    return "multipart/mixed; boundary=\"" + boundary + "\"";
}

std::string Attachment(const std::string& boundary, size_t size, std::mt19937& rng) {
    std::string encoded;
    Base64Encode(Binary(size, rng), encoded);
    return "--" + boundary +
           "\r\nContent-Type: application/octet-stream; name=\"file.bin\"\r\nContent-Transfer-Encoding: "
           "base64\r\nContent-Disposition: attachment; filename=\"file.bin\"\r\n\r\n" +
           encoded;
}

// One message of a kind chosen by n: plain text, text with an attachment, alternative text and
// HTML, a forwarded multipart.
std::string MakeMessage(int n, std::mt19937& rng) {
    const std::string b = "=_b" + std::to_string(n) + "_" + std::to_string(rng());
    switch (n % 4) {
    case 0:
        return Headers(n, "text/plain; charset=utf-8", rng) + "\r\n" + TypicalText(2000 + rng() % 6000, rng);
    case 1:
        return Headers(n, Mixed(b), rng) + "\r\nThis is MIME.\r\n--" + b +
               "\r\nContent-Type: text/plain\r\n\r\n" + TypicalText(1000 + rng() % 2000, rng) + "\r\n" +
               Attachment(b, 20000 + rng() % 180000, rng) + "--" + b + "--\r\n";
    case 2: {
        std::string qp;
        QpEncode(TypicalText(3000 + rng() % 4000, rng), qp);
        return Headers(n, "multipart/alternative; boundary=\"" + b + "\"", rng) + "\r\n--" + b +
               "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
               "quoted-printable\r\n\r\n" +
               qp + "\r\n--" + b + "\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><body><p>" +
               TypicalText(4000 + rng() % 4000, rng) + "</p></body></html>\r\n--" + b + "--\r\n";
    }
    default: {
        const std::string inner = "=_i" + std::to_string(n);
        const std::string forwarded = Headers(n + 1, Mixed(inner), rng) + "\r\n--" + inner +
                                      "\r\nContent-Type: text/plain\r\n\r\n" + TypicalText(1500, rng) +
                                      "\r\n" + Attachment(inner, 10000 + rng() % 60000, rng) + "--" + inner +
                                      "--\r\n";
        return Headers(n, Mixed(b), rng) + "\r\n--" + b +
               "\r\nContent-Type: text/plain\r\n\r\nForwarded message below.\r\n--" + b +
               "\r\nContent-Type: message/rfc822\r\n\r\n" + forwarded + "\r\n--" + b + "--\r\n";
    }
    }
}

std::vector<std::string> Corpus(size_t megabytes) {
    std::mt19937 rng(2047);
    std::vector<std::string> messages;
    size_t bytes = 0;
    for (int n = 0; bytes < megabytes * 1000000; ++n) {
        messages.push_back(MakeMessage(n, rng));
        bytes += messages.back().size();
    }
    return messages;
}

// A text part and attachments of about partSize encoded bytes each up to about size bytes.
std::string WithAttachments(size_t size, size_t partSize) {
    std::mt19937 rng(31);
    const std::string b = "=_attachments";
    std::string text = Headers(0, Mixed(b), rng) + "\r\n--" + b + "\r\nContent-Type: text/plain\r\n\r\n" +
                       TypicalText(2000, rng) + "\r\n";
    // A few random blocks, written again and again: generating the bytes is not what is measured.
    std::vector<std::string> blocks;
    for (int i = 0; i < 8; ++i) blocks.push_back(Attachment(b, partSize * 3 / 4, rng) + "\r\n");
    for (size_t i = 0; text.size() + blocks[i % 8].size() < size || i == 0; ++i) text += blocks[i % 8];
    return text + "--" + b + "--\r\n";
}

std::string SmallParts(int count) {
    std::mt19937 rng(32);
    const std::string b = "=_small";
    std::string text = Headers(0, Mixed(b), rng) + "\r\n";
    for (int i = 0; i < count; ++i)
        text += "--" + b +
                "\r\nContent-Type: text/plain; charset=us-ascii\r\nContent-Disposition: inline\r\n\r\n" +
                TypicalText(100 + rng() % 200, rng) + "\r\n";
    return text + "--" + b + "--\r\n";
}

// An attachment of leafSize bytes under levels multipart levels.
std::string Nested(int levels, size_t leafSize) {
    std::mt19937 rng(33);
    std::string head;
    std::string tail;
    for (int i = 0; i < levels; ++i) {
        char boundary[32];
        snprintf(boundary, sizeof boundary, "=_level%03d", i);
        head += (i == 0 ? Headers(0, Mixed(boundary), rng) : "Content-Type: " + Mixed(boundary) + "\r\n") +
                "\r\n--" + boundary + "\r\n";
        tail = "\r\n--" + std::string(boundary) + "--\r\n" + tail;
    }
    std::string encoded;
    Base64Encode(Binary(leafSize * 3 / 4, rng), encoded);
    return head + "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           encoded + tail;
}

struct Rates {
    double parse = 0;
    double assemble = 0;
    double peak = 0;  // extra bytes at the peak of parsing the largest message
    std::string note; // why there are none
};

// Runs a reference command that prints "parse MB/s", "assemble MB/s" and "peak BYTES" lines.
Rates Reference(const std::string& command) {
    Rates rates;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        rates.note = "cannot be started";
        return rates;
    }
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        char name[32];
        double value;
        if (sscanf(line, "%31s %lf", name, &value) == 2 && strcmp(name, "parse") == 0) {
            rates.parse = value;
        } else if (sscanf(line, "%31s %lf", name, &value) == 2 && strcmp(name, "assemble") == 0) {
            rates.assemble = value;
        } else if (sscanf(line, "%31s %lf", name, &value) == 2 && strcmp(name, "peak") == 0) {
            rates.peak = value;
        } else {
            rates.note += line;
        }
    }
    pclose(pipe);
    while (!rates.note.empty() && rates.note.back() == '\n') rates.note.pop_back();
    return rates;
}

long StatusKb(const char* key) {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    const size_t length = strlen(key);
    while (fgets(line, sizeof line, f))
        if (strncmp(line, key, length) == 0) kb = atol(line + length);
    fclose(f);
    return kb;
}

// The peak of resident memory over what the process held before work, in a child process of its
// own whose free heap pages are given back and whose high-water mark is reset first: bytes, or 0
// when it cannot be read.
double PeakOf(const std::function<void()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return 0;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        malloc_trim(0);
        FILE* clear = fopen("/proc/self/clear_refs", "w");
        const bool reset = clear && fputs("5", clear) >= 0 && fclose(clear) == 0;
        const long before = StatusKb("VmRSS:");
        work();
        const long peak = StatusKb("VmHWM:");
        const double extra = reset && before >= 0 && peak >= before ? (peak - before) * 1024.0 : 0;
        if (write(fds[1], &extra, sizeof extra) != static_cast<ssize_t>(sizeof extra)) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    double extra = 0;
    if (child < 0 || read(fds[0], &extra, sizeof extra) != static_cast<ssize_t>(sizeof extra)) extra = 0;
    close(fds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return extra;
}

struct Shape {
    std::string name;
    std::vector<std::string> messages;
};

struct Result {
    std::string name;
    size_t bytes = 0;
    Rates own, python, gmime;
};

std::string Ratio(double own, double other) {
    char text[32];
    if (own > 0 && other > 0)
        snprintf(text, sizeof text, "%.2f", own / other);
    else
        snprintf(text, sizeof text, "-");
    return text;
}

Result Measure(const Shape& shape) {
    Result result;
    result.name = shape.name;
    size_t largest = 0;
    const std::string* biggest = nullptr;
    for (const std::string& text : shape.messages) {
        result.bytes += text.size();
        if (text.size() >= largest) {
            largest = text.size();
            biggest = &text;
        }
    }
    char folder[] = "/tmp/tarvo-mimetreebench-XXXXXX";
    if (!mkdtemp(folder)) {
        perror("mkdtemp");
        exit(1);
    }
    std::vector<std::string> files;
    for (size_t i = 0; i < shape.messages.size(); ++i) {
        files.push_back(std::string(folder) + "/" + std::to_string(i) + ".eml");
        if (!WriteFile(files.back(), shape.messages[i])) {
            perror(files.back().c_str());
            exit(1);
        }
    }
    const std::vector<std::string>& messages = shape.messages;
    result.own.parse = Throughput(result.bytes, [&messages] {
        for (const std::string& text : messages) {
            std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
            message->Parse();
        }
    });
    result.own.assemble = Throughput(result.bytes, [&messages] {
        for (const std::string& text : messages) {
            std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
            message->Parse();
            message->Assemble();
            if (message->Text().size() < text.size() / 2) abort();
        }
    });
    result.own.peak = PeakOf([biggest] {
        std::unique_ptr<DwMessage> message(DwMessage::NewMessage(*biggest, nullptr));
        message->Parse();
    });
    result.python =
        Reference("python3 '" TARVO_SOURCE_DIR "/bench/mimetree_ref.py' '" + std::string(folder) + "'");
    result.gmime = Reference("sh '" TARVO_SOURCE_DIR "/bench/gmime-side.sh' '" TARVO_SOURCE_DIR
                             "/bench/mimetree_gmime.c' '" +
                             std::string(folder) + "'");
    for (const std::string& file : files) unlink(file.c_str());
    rmdir(folder);

    printf("== %s: %zu message(s), %.2f MB (largest %.2f MB)\n", shape.name.c_str(), messages.size(),
           result.bytes / 1e6, largest / 1e6);
    printf("   %-22s %12s %16s %11s %9s %9s\n", "", "parse MB/s", "parse+asm MB/s", "peak/input", "parse",
           "asm");
    const auto row = [&](const char* name, const Rates& rates, bool ratio) {
        printf("   %-22s %12.1f %16.1f %11.2f", name, rates.parse, rates.assemble, rates.peak / largest);
        if (ratio)
            printf(" %9s %9s", Ratio(result.own.parse, rates.parse).c_str(),
                   Ratio(result.own.assemble, rates.assemble).c_str());
        printf("\n");
        if (rates.parse <= 0) printf("     %s: NOT MEASURED (%s)\n", name, rates.note.c_str());
    };
    row("tarvo MIME tree", result.own, false);
    row("Python email compat32", result.python, true);
    row("GMime 3", result.gmime, true);
    fflush(stdout);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? strtoul(argv[1], nullptr, 10) : 8;
    if (megabytes == 0) {
        fprintf(stderr, "usage: tarvo-mimetreebench [MEGABYTES] [SHAPE...]\n");
        return 2;
    }
    const auto wanted = [argc, argv](const char* name) {
        if (argc <= 2) return true;
        for (int i = 2; i < argc; ++i)
            if (strncmp(name, argv[i], strlen(argv[i])) == 0) return true;
        return false;
    };
    const struct {
        const char* name;
        std::function<std::vector<std::string>()> make;
    } shapes[] = {
        {"corpus", [megabytes] { return Corpus(megabytes); }},
        {"attachments: 2 000 in 50 MB",
         [] { return std::vector<std::string>{WithAttachments(50000000, 25000)}; }},
        {"small-parts: 10 000", [] { return std::vector<std::string>{SmallParts(10000)}; }},
        {"nested: 8 MB under 64 multipart levels",
         [] { return std::vector<std::string>{Nested(64, 8000000)}; }},
        {"size-100KB: one attachment",
         [] { return std::vector<std::string>{WithAttachments(100000, 100000)}; }},
        {"size-1MB: one attachment",
         [] { return std::vector<std::string>{WithAttachments(1000000, 1000000)}; }},
        {"size-10MB: one attachment",
         [] { return std::vector<std::string>{WithAttachments(10000000, 10000000)}; }},
        {"size-100MB: one attachment",
         [] { return std::vector<std::string>{WithAttachments(100000000, 100000000)}; }},
    };
    printf(
        "this build is %zu-bit; MB = 10^6 bytes of message text; median of three rounds of at least 1/3 s;\n"
        "peak/input: resident memory at the peak of parsing the largest message, over what the process\n"
        "held before, divided by that message's size; parse, asm: tarvo / other\n",
        sizeof(void*) * 8);
    std::vector<Result> results;
    for (const auto& shape : shapes)
        if (wanted(shape.name)) results.push_back(Measure({shape.name, shape.make()}));
    printf("\nsummary: tarvo / other    %-40s %8s %8s %8s %8s\n", "", "py parse", "py asm", "GM parse",
           "GM asm");
    for (const Result& r : results)
        printf("  %-63s %8s %8s %8s %8s\n", r.name.c_str(), Ratio(r.own.parse, r.python.parse).c_str(),
               Ratio(r.own.assemble, r.python.assemble).c_str(), Ratio(r.own.parse, r.gmime.parse).c_str(),
               Ratio(r.own.assemble, r.gmime.assemble).c_str());
    return 0;
}
