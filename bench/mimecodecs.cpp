// tarvo-mimebench: throughput of the MIME body codecs (base64 and quoted-printable, decoding and
// encoding) over a few MB of typical text and of binary data, next to Python's base64 and quopri
// (bench/mimecodecs_ref.py) and GMime 3's codec functions (bench/mimecodecs_gmime.c) doing the same
// work in the same run. Our codecs run on the program's own allocator (base/alloc.cpp over the C
// library's default malloc), as in the daemon.
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
    std::string name; // "base64-text" and the like; the prefix names the codec
    std::string raw;
    std::string encoded;
    std::string rawFile; // for the references
    std::string encodedFile;
    bool Base64() const { return name.compare(0, 6, "base64") == 0; }
};

void Encode(const Case& c, const std::string& in, std::string& out) {
    if (c.Base64())
        Base64Encode(in, out);
    else
        QpEncode(in, out);
}

void Decode(const Case& c, const std::string& in, std::string& out) {
    if (c.Base64())
        Base64Decode(in, out, false);
    else
        QpDecode(in, out, false);
}

// MB/s of the input; the output must be what the case expects.
template <typename Work>
double Measure(const Case& c, const std::string& in, const std::string& expected, Work work) {
    std::string out;
    const double rate = Throughput(in.size(), [&] { work(c, in, out); });
    if (out != expected) {
        fprintf(stderr, "%s: the output differs from what it should be\n", c.name.c_str());
        exit(1);
    }
    return rate;
}

struct Rate {
    std::string work; // "encode" or "decode"
    std::string name;
    double rate;
};

// The rates a reference command prints ("WORK NAME MB/s" lines); what else it says into note.
std::vector<Rate> Reference(const std::string& command, std::string& note) {
    std::vector<Rate> rates;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        note = "cannot be started";
        return rates;
    }
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        char work[16];
        char name[64];
        double rate;
        if (sscanf(line, "%15s %63s %lf", work, name, &rate) == 3)
            rates.push_back({work, name, rate});
        else
            note += line;
    }
    pclose(pipe);
    while (!note.empty() && note.back() == '\n') note.pop_back();
    return rates;
}

double Find(const std::vector<Rate>& rates, const char* work, const std::string& name) {
    for (const Rate& r : rates)
        if (r.work == work && r.name == name) return r.rate;
    return 0;
}

// A figure of width characters, or "-" when there is none.
std::string Figure(double value, int width, int decimals) {
    char text[32];
    if (value > 0)
        snprintf(text, sizeof text, "%*.*f", width, decimals, value);
    else
        snprintf(text, sizeof text, "%*s", width, "-");
    return text;
}

void Table(const char* work, const std::vector<Case>& cases, const std::vector<double>& own,
           const std::vector<Rate>& python, const std::vector<Rate>& gmime) {
    printf("%-8s %-14s %9s %11s %11s %11s %8s %8s\n", work, "case", "MB in", "tarvo MB/s", "python MB/s",
           "GMime MB/s", "/python", "/GMime");
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const double py = Find(python, work, c.name);
        const double gm = Find(gmime, work, c.name);
        const size_t in = strcmp(work, "encode") == 0 ? c.raw.size() : c.encoded.size();
        printf("%-8s %-14s %9.2f %11.0f %s %s %s %s\n", "", c.name.c_str(), in / 1e6, own[i],
               Figure(py, 11, 0).c_str(), Figure(gm, 11, 0).c_str(),
               Figure(py > 0 ? own[i] / py : 0, 8, 2).c_str(),
               Figure(gm > 0 ? own[i] / gm : 0, 8, 2).c_str());
    }
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
         {std::pair<const char*, const std::string*>{"text", &text}, {"binary", &binary}})
        for (const char* codec : {"base64-", "qp-"})
            cases.push_back({codec + std::string(kind), *raw, "", "", ""});
    std::string references[2];
    for (auto& c : cases) {
        Encode(c, c.raw, c.encoded);
        c.rawFile = std::string(folder) + "/" + c.name + ".raw";
        c.encodedFile = std::string(folder) + "/" + c.name + ".encoded";
        if (!WriteFile(c.rawFile, c.raw) || !WriteFile(c.encodedFile, c.encoded)) {
            perror(c.name.c_str());
            return 1;
        }
        for (std::string& arguments : references)
            arguments +=
                " 'decode:" + c.name + "=" + c.encodedFile + "' 'encode:" + c.name + "=" + c.rawFile + "'";
    }

    std::vector<double> decoded, encoded;
    for (const auto& c : cases) {
        decoded.push_back(Measure(c, c.encoded, c.raw, Decode));
        encoded.push_back(Measure(c, c.raw, c.encoded, Encode));
    }
    std::string pythonNote, gmimeNote;
    const auto python =
        Reference("python3 '" TARVO_SOURCE_DIR "/bench/mimecodecs_ref.py'" + references[0], pythonNote);
    const auto gmime = Reference("sh '" TARVO_SOURCE_DIR "/bench/gmime-side.sh' '" TARVO_SOURCE_DIR
                                 "/bench/mimecodecs_gmime.c'" +
                                     references[1],
                                 gmimeNote);
    for (const auto& c : cases) {
        unlink(c.rawFile.c_str());
        unlink(c.encodedFile.c_str());
    }
    rmdir(folder);

    printf("this build is %zu-bit\n", sizeof(void*) * 8);
    Table("decode", cases, decoded, python, gmime);
    Table("encode", cases, encoded, python, gmime);
    if (python.empty()) printf("  Python: NOT MEASURED (%s)\n", pythonNote.c_str());
    if (gmime.empty()) printf("  GMime 3: NOT MEASURED (%s)\n", gmimeNote.c_str());
    printf("(MB = 10^6 bytes of input: encoded for decode, raw for encode; median of three rounds of at "
           "least 1/3 s; /python and /GMime = tarvo / other)\n");
    return 0;
}
