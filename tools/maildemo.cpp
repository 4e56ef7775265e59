// tarvo-maildemo ENGINE BASE FOLDER: the mail walk run in this process with the stand-in engine over
// three sample messages written into FOLDER (a clean one, one with an infected attachment, one with a
// curable attachment). For each it prints the reply the client would get and the message as it was
// written back. tools/demo runs it.
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
#include "shell/engine/virbase.h"
#include "unix/client/tvclientwire.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/settingslife.h"

namespace {

// The request's option word: the found list and the statistics; cure, else delete.
constexpr uint32_t kOptions = 1u << 0 | 1u << 2 | 1u << 6 | 1u << 9 | 1u << 12;

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

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: tarvo-maildemo ENGINE BASE FOLDER\n");
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
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 1;
        TimeBudget budget = BudgetFromSeconds(5);
        fflush(stdout);
        const int result = ScanMailFile(path.c_str(), fds[0], budget);
        fflush(stdout);
        close(fds[0]);
        printf("-- the walk's result: %d; the reply:\n", result);
        PrintReply(fds[1]);
        close(fds[1]);
        const std::string written = ReadFile(path);
        printf("-- the message %s:\n%s\n", written == sample.text ? "is unchanged" : "as written back",
               written.c_str());
        if (result < 0) status = 1;
    }
    return status;
}
