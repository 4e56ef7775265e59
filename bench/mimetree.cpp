// tarvo-mimetreebench: throughput of the MIME message tree (parse, and parse + assemble) over a
// generated corpus of mixed mail, next to Python's email package (compat32 parser and as_bytes,
// bench/mimetree_ref.py) and GMime 3 (bench/mimetree_gmime.c, built by bench/gmime-side.sh)
// doing the same work on the same files in the same run.
// usage: tarvo-mimetreebench [MEGABYTES] (default 8: the corpus size)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
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

std::string Headers(int n, const char* contentType, std::mt19937& rng) {
    std::string h = "Received: from mx" + std::to_string(rng() % 100) +
                    ".example.net (mx.example.net [192.0.2.7])\r\n\tby mail.example.org with ESMTP id " +
                    std::to_string(rng()) + ";\r\n\tThu, 10 Dec 2026 10:00:00 +0100\r\n";
    h += "From: Sender " + std::to_string(n) + " <sender" + std::to_string(n) + "@example.net>\r\n";
    h += "To: someone@example.org\r\nSubject: =?utf-8?Q?report_n=C2=B0" + std::to_string(n) + "?=\r\n";
    h += "Date: Thu, 10 Dec 2026 10:00:00 +0100\r\nMessage-ID: <" + std::to_string(rng()) +
         "@example.net>\r\n";
    h += "MIME-Version: 1.0\r\nContent-Type: " + std::string(contentType) + "\r\n";
    return h;
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
        return Headers(n, ("multipart/mixed; boundary=\"" + b + "\"").c_str(), rng) +
               "\r\nThis is MIME.\r\n--" + b + "\r\nContent-Type: text/plain\r\n\r\n" +
               TypicalText(1000 + rng() % 2000, rng) + "\r\n" + Attachment(b, 20000 + rng() % 180000, rng) +
               "--" + b + "--\r\n";
    case 2: {
        std::string qp;
        QpEncode(TypicalText(3000 + rng() % 4000, rng), qp);
        return Headers(n, ("multipart/alternative; boundary=\"" + b + "\"").c_str(), rng) + "\r\n--" + b +
               "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
               "quoted-printable\r\n\r\n" +
               qp + "\r\n--" + b + "\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><body><p>" +
               TypicalText(4000 + rng() % 4000, rng) + "</p></body></html>\r\n--" + b + "--\r\n";
    }
    default: {
        const std::string inner = "=_i" + std::to_string(n);
        const std::string forwarded =
            Headers(n + 1, ("multipart/mixed; boundary=\"" + inner + "\"").c_str(), rng) + "\r\n--" + inner +
            "\r\nContent-Type: text/plain\r\n\r\n" + TypicalText(1500, rng) + "\r\n" +
            Attachment(inner, 10000 + rng() % 60000, rng) + "--" + inner + "--\r\n";
        return Headers(n, ("multipart/mixed; boundary=\"" + b + "\"").c_str(), rng) + "\r\n--" + b +
               "\r\nContent-Type: text/plain\r\n\r\nForwarded message below.\r\n--" + b +
               "\r\nContent-Type: message/rfc822\r\n\r\n" + forwarded + "\r\n--" + b + "--\r\n";
    }
    }
}

struct Rates {
    double parse = 0;
    double assemble = 0;
    std::string note; // why there are none
};

// Runs a reference command that prints "parse MB/s" and "assemble MB/s" lines.
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
        double rate;
        if (sscanf(line, "%31s %lf", name, &rate) == 2 && strcmp(name, "parse") == 0) {
            rates.parse = rate;
        } else if (sscanf(line, "%31s %lf", name, &rate) == 2 && strcmp(name, "assemble") == 0) {
            rates.assemble = rate;
        } else {
            rates.note += line;
        }
    }
    pclose(pipe);
    while (!rates.note.empty() && rates.note.back() == '\n') rates.note.pop_back();
    return rates;
}

void Row(const char* name, double parse, double assemble, double ownParse, double ownAssemble) {
    printf("%-22s %12.1f %16.1f", name, parse, assemble);
    if (ownParse > 0 && parse > 0 && assemble > 0)
        printf("    %8.2f %8.2f\n", ownParse / parse, ownAssemble / assemble);
    else
        printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? strtoul(argv[1], nullptr, 10) : 8;
    if (megabytes == 0) {
        fprintf(stderr, "usage: tarvo-mimetreebench [MEGABYTES]\n");
        return 2;
    }
    std::mt19937 rng(2047);
    std::vector<std::string> messages;
    size_t bytes = 0;
    for (int n = 0; bytes < megabytes * 1000000; ++n) {
        messages.push_back(MakeMessage(n, rng));
        bytes += messages.back().size();
    }

    char folder[] = "/tmp/tarvo-mimetreebench-XXXXXX";
    if (!mkdtemp(folder)) {
        perror("mkdtemp");
        return 1;
    }
    std::vector<std::string> files;
    for (size_t i = 0; i < messages.size(); ++i) {
        files.push_back(std::string(folder) + "/" + std::to_string(i) + ".eml");
        if (!WriteFile(files.back(), messages[i])) {
            perror(files.back().c_str());
            return 1;
        }
    }

    const double ownParse = Throughput(bytes, [&messages] {
        for (const std::string& text : messages) {
            std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
            message->Parse();
        }
    });
    const double ownAssemble = Throughput(bytes, [&messages] {
        for (const std::string& text : messages) {
            std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
            message->Parse();
            message->Assemble();
            if (message->Text().size() < text.size() / 2) abort();
        }
    });

    const Rates python =
        Reference("python3 '" TARVO_SOURCE_DIR "/bench/mimetree_ref.py' '" + std::string(folder) + "'");
    const Rates gmime =
        Reference("sh '" TARVO_SOURCE_DIR "/bench/gmime-side.sh' '" TARVO_SOURCE_DIR "/bench/mimetree_gmime.c' '" +
                  std::string(folder) + "'");
    for (const std::string& file : files) unlink(file.c_str());
    rmdir(folder);

    printf("corpus: %zu messages, %.2f MB; this build is %zu-bit\n", messages.size(), bytes / 1e6,
           sizeof(void*) * 8);
    printf("%-22s %12s %16s    %8s %8s\n", "", "parse MB/s", "parse+asm MB/s", "ratio", "ratio");
    Row("tarvo MIME tree", ownParse, ownAssemble, 0, 0);
    Row("Python email compat32", python.parse, python.assemble, ownParse, ownAssemble);
    if (python.parse <= 0) printf("  Python email: no result (%s)\n", python.note.c_str());
    Row("GMime 3", gmime.parse, gmime.assemble, ownParse, ownAssemble);
    if (gmime.parse <= 0) printf("  GMime 3: NOT MEASURED (%s)\n", gmime.note.c_str());
    printf(
        "(MB = 10^6 bytes of message text; median of three rounds of at least 1/3 s; ratio = tarvo / other)\n");
    return 0;
}
