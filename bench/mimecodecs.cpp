// tarvo-mimebench: decoding throughput of the MIME body decoders (base64 and quoted-printable)
// over a few MB of typical text and of binary data, next to Python's base64.b64decode and
// quopri.decodestring doing the same work in the same run (bench/mimedecode_ref.py).
// usage: tarvo-mimebench [MEGABYTES] (default 4: the raw size of each case)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/mailtext.h"
#include "bench/throughput.h"
#include "mail/mime/base64.h"
#include "mail/mime/quotedprintable.h"

namespace {

std::string Binary(size_t size, std::mt19937& rng) {
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>(rng());
    return data;
}

struct Case {
    std::string name; // "base64-text" and the like; the prefix names the decoder
    std::string raw;
    std::string encoded;
    std::string file; // the encoded text, for the reference
};

// Encoded megabytes decoded per second; the decoded bytes must be the raw ones.
template <typename Decode> double Measure(const Case& c, Decode decode) {
    std::string out;
    const double rate = Throughput(c.encoded.size(), [&] { decode(c.encoded, out); });
    if (out != c.raw) {
        fprintf(stderr, "%s: the decoded bytes differ from the input\n", c.name.c_str());
        exit(1);
    }
    return rate;
}

// name -> MB/s from the reference script; empty when Python cannot be run.
std::vector<std::pair<std::string, double>> Reference(const std::vector<Case>& cases) {
    std::string command = "python3 '" TARVO_SOURCE_DIR "/bench/mimedecode_ref.py'";
    for (const auto& c : cases) command += " " + c.name + "=" + c.file;
    std::vector<std::pair<std::string, double>> rates;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return rates;
    char name[64];
    double rate;
    while (fscanf(pipe, "%63s %lf", name, &rate) == 2) rates.emplace_back(name, rate);
    pclose(pipe);
    return rates;
}

} // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? strtoul(argv[1], nullptr, 10) : 4;
    if (megabytes == 0) {
        fprintf(stderr, "usage: tarvo-mimebench [MEGABYTES]\n");
        return 2;
    }
    std::mt19937 rng(2045);
    const size_t size = megabytes * 1000000;
    const std::string text = TypicalText(size, rng);
    const std::string binary = Binary(size, rng);

    char folder[] = "/tmp/tarvo-mimebench-XXXXXX";
    if (!mkdtemp(folder)) {
        perror("mkdtemp");
        return 1;
    }
    std::vector<Case> cases;
    for (const auto& [kind, raw] :
         {std::pair<const char*, const std::string*>{"text", &text}, {"binary", &binary}}) {
        Case b64{std::string("base64-") + kind, *raw, "", ""};
        Base64Encode(*raw, b64.encoded);
        cases.push_back(b64);
        Case qp{std::string("qp-") + kind, *raw, "", ""};
        QpEncode(*raw, qp.encoded);
        cases.push_back(qp);
    }
    for (auto& c : cases) {
        c.file = std::string(folder) + "/" + c.name;
        if (!WriteFile(c.file, c.encoded)) {
            perror(c.file.c_str());
            return 1;
        }
    }

    std::vector<double> native;
    for (const auto& c : cases) {
        if (c.name.compare(0, 6, "base64") == 0)
            native.push_back(
                Measure(c, [](const std::string& in, std::string& out) { Base64Decode(in, out, false); }));
        else
            native.push_back(
                Measure(c, [](const std::string& in, std::string& out) { QpDecode(in, out, false); }));
    }
    const auto reference = Reference(cases);
    for (const auto& c : cases) unlink(c.file.c_str());
    rmdir(folder);

    printf("%-14s %12s %14s %14s %8s\n", "case", "encoded MB", "native MB/s", "python MB/s", "ratio");
    for (size_t i = 0; i < cases.size(); ++i) {
        double python = 0;
        for (const auto& [name, rate] : reference)
            if (name == cases[i].name) python = rate;
        printf("%-14s %12.2f %14.0f ", cases[i].name.c_str(), cases[i].encoded.size() / 1e6, native[i]);
        if (python > 0)
            printf("%14.0f %8.2f\n", python, native[i] / python);
        else
            printf("%14s %8s\n", "-", "-");
    }
    printf("(MB = 10^6 bytes of encoded input; best of three rounds of at least 1/3 s; ratio = native / "
           "python)\n");
    return 0;
}
