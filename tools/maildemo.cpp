// tarvo-maildemo ENGINE BASE FOLDER [MAIL...]: the mail walk run in this process with the stand-in
// engine over three sample messages written into FOLDER (a clean one, one with an infected attachment,
// one with a curable attachment), or over the MAIL files named. For each it prints the reply the
// client would get and the message as it was written back. A message the walk does not take as mail
// (-1) is scanned whole, as a plain file, which is what that result asks of a caller. tools/demo runs
// it.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "base/logwriter.h"
#include "base/messages.h"
#include "mail/mime/base64.h"
#include "mail/walk/mailwalk.h"
#include "shell/loader/enginemodule.h"
#include "shell/engine/engines.h"
#include "shell/host/hosthooks.h"
#include "shell/host/memfile.h"
#include "shell/scan/requestoption.h"
#include "shell/scan/scantask.h"
#include "shell/engine/virbase.h"
#include "unix/client/tvclientwire.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/settingslife.h"
#include "unix/protocol/scanrequest.h"

namespace {

// The request's option word: the found list and the statistics; cure, else delete.
constexpr uint32_t kOptions = 1u << 0 | 1u << 2 | 1u << 6 | 1u << 9 | 1u << 12;
// The found list and the statistics only.
constexpr uint32_t kReportOnly = 1u << 0 | 1u << 2;

int StartEngine(const char* module, const char* base) {
    if (!MessageCatalogue) CreateMessageCatalogue();
    ConnectHostServices();
    EngineModules.reset(new PE_Lib);
    if (CreateEngineTable() != 0) return -1;
    CopyPathBuffer(EngineFilePath, module);
    VirusBase.reset(new tvStringList);
    VirusBase->AddString(base);
    BuildVersionString();
    const int index = LoadEngine();
    if (index < 0) return -1;
    uint32_t word = 0;
    return LoadVirusBases(EngineAt(static_cast<uint32_t>(index)), &word) > 0 ? 0 : -1;
}

std::string Attachment(const std::string& data, const char* name) {
    std::string encoded;
    Base64Encode(data, encoded);
    return std::string("--SEP\r\nContent-Type: application/octet-stream; name=\"") + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" + name +
           "\"\r\n\r\n" + encoded;
}

std::string Message(const char* subject, const std::string& attachment) {
    return std::string("From: sender@example.org\r\nTo: someone@example.org\r\nSubject: ") + subject +
           "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"SEP\"\r\n\r\n"
           "--SEP\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nPlease find the file attached.\r\n" +
           attachment + "\r\n--SEP--\r\n";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The reply as the client library reads it: the result word, the found list, the statistics.
void PrintReply(int fd) {
    DaemonConnection connection;
    connection.fd = fd;
    connection.timeout = 5;
    uint32_t word = 0;
    if (ReadWordBE(connection, word) != 0) {
        printf("   no reply\n");
        return;
    }
    printf("   result word 0x%08X\n", word);
    uint32_t count = 0;
    ReadWordBE(connection, count);
    for (uint32_t i = 0; i < count; ++i) {
        OwnedText text;
        if (ReadStringBE(connection, text) == ClientReadEnd::kDone) printf("   found: %s\n", text.get());
    }
    ReadWordBE(connection, count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t bit = 0, value = 0;
        ReadWordBE(connection, bit);
        ReadWordBE(connection, value);
        printf("   statistic 0x%08X = %u\n", bit, value);
    }
}

// The mail walk over the file at path, with its reply; a message the walk does not take as mail is
// scanned whole instead. 0, or 1 when neither answered.
int ScanOne(const std::string& path) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 1;
    TimeBudget budget = BudgetFromSeconds(5);
    fflush(stdout);
    int result = ScanMailFile(path.c_str(), fds[0], budget);
    fflush(stdout);
    if (result == -1) {
        printf("-- not taken as mail: scanned whole\n");
        ScanTask task(MainSettings, 0, kScanStackBudget);
        const uint32_t scanned = task.Scan(path.c_str(), 0);
        SendScanReply(fds[0], budget, &task, scanned, nullptr);
        fflush(stdout);
    } else {
        printf("-- the walk's result: %d; the reply:\n", result);
    }
    close(fds[0]);
    PrintReply(fds[1]);
    close(fds[1]);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: tarvo-maildemo ENGINE BASE FOLDER [MAIL...]\n");
        return 2;
    }
    if (CreateSettings() != 0 || StartEngine(argv[1], argv[2]) != 0) {
        fprintf(stderr, "maildemo: the stand-in engine did not start\n");
        return 1;
    }
    const std::string folder = argv[3];
    snprintf(TempPath, sizeof TempPath, "%s", folder.c_str());
    BackupFilesTo[0] = '\0';
    LogToSyslog = 0;
    LogToFile = 0;
    LogTime = 0;
    if (argc > 4) {
        // Files of the caller's are only looked at: no action may change them. The log lines of each
        // are shown after its reply.
        RequestOptionWord = kReportOnly;
        const std::string log = folder + "/tarvo-maildemo.log";
        snprintf(LogFileName, sizeof LogFileName, "%s", log.c_str());
        LogToFile = 1;
        int status = 0;
        for (int i = 4; i < argc; ++i) {
            printf("== %s\n", argv[i]);
            const size_t before = ReadFile(log).size();
            status |= ScanOne(argv[i]);
            const std::string lines = ReadFile(log);
            if (lines.size() > before) printf("-- the log:\n%s", lines.substr(before).c_str());
        }
        return status;
    }
    RequestOptionWord = kOptions;
    // The test file of the anti-virus makers, put together here so that no source file holds it.
    const std::string eicar =
        std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR") + "-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
    const struct {
        const char* file;
        std::string text;
    } samples[] = {
        {"clean.eml", Message("a clean message", Attachment("just some data\r\n", "notes.txt"))},
        {"infected.eml", Message("an infected attachment", Attachment(eicar, "eicar.com"))},
        {"curable.eml",
         Message("a curable attachment", Attachment("TARVO-TEST-CURABLE and the rest", "prog.bin"))},
    };
    int status = 0;
    for (const auto& sample : samples) {
        const std::string path = folder + "/" + sample.file;
        std::ofstream(path, std::ios::binary) << sample.text;
        printf("== %s\n", path.c_str());
        status |= ScanOne(path);
        const std::string written = ReadFile(path);
        printf("-- the message %s:\n%s\n", written == sample.text ? "is unchanged" : "as written back",
               written.c_str());
    }
    return status;
}
