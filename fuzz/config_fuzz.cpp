// The configuration reader on arbitrary text: every line through the tokenizer, then the whole text
// through the reader into fresh settings.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "base/filelayer.h"
#include "base/messages.h"
#include "fuzz/fuzz_support.h"
#include "shell/scansettings.h"
#include "unix/clientlogs.h"
#include "unix/configlexer.h"
#include "unix/configkeys.h"
#include "unix/configreader.h"
#include "unix/daemonsettings.h"
#include "unix/poolparams.h"
#include "unix/settingslife.h"

namespace {

// The values no load resets, as the program starts; restored before every input so that one input
// does not change what the next one does.
struct KeptValues {
    char tempPath[sizeof TempPath];
    unsigned char progressBar[sizeof ProgressBar];
    int32_t progressBarColor, filesTypesWarnings, syslogFacility, syslogPriority, runForeground;
    int64_t useMaxMemory;
    ProcessPoolParameters pool;
    int32_t poolAuto;
    uint32_t engineLimit;

    void Save() {
        memcpy(tempPath, TempPath, sizeof tempPath);
        memcpy(progressBar, ProgressBar, sizeof progressBar);
        progressBarColor = ProgressBarColor;
        filesTypesWarnings = FilesTypesWarnings;
        syslogFacility = SyslogFacility;
        syslogPriority = SyslogPriority;
        runForeground = RunForeground;
        useMaxMemory = UseMaxMemory;
        pool = PoolParameters;
        poolAuto = PoolAutoFlag;
        engineLimit = EngineInstanceLimit;
    }
    void Restore() const {
        memcpy(TempPath, tempPath, sizeof tempPath);
        memcpy(ProgressBar, progressBar, sizeof progressBar);
        ProgressBarColor = progressBarColor;
        FilesTypesWarnings = filesTypesWarnings;
        SyslogFacility = syslogFacility;
        SyslogPriority = syslogPriority;
        RunForeground = runForeground;
        UseMaxMemory = useMaxMemory;
        PoolParameters = pool;
        PoolAutoFlag = poolAuto;
        EngineInstanceLimit = engineLimit;
        ClientLogTargets.clear();
        MailCommand.clear();
        MailTo.clear();
    }
};

KeptValues& Kept() {
    static KeptValues kept;
    return kept;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CreateMessageCatalogue();
    LoadDefaultMessages();
    Kept().Save();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // The tokenizer over the text as one stream: each call takes one logical line.
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (size_t lines = 0; lines <= size && in.peek() != EOF; ++lines) TokenizeConfigLine(in, tokens);

    Kept().Restore();
    FreeSettings();
    if (CreateSettings() != 0) return 0;
    ConfigTargetSettings = MainSettings;
    QuietLog();
    // A read must not touch files: a LogFileName from the text is not to be written to.
    OpenFileLimit = 0;
    OpenFileReserve = 0;
    const int32_t bad = ReadConfigText(text);
    int listed = 0;
    for (const ConfigErrorLine* e = FirstConfigError(); e; e = NextConfigError()) listed++;
    for (const ObsoleteParameter* p = FirstObsoleteParameter(); p; p = NextObsoleteParameter()) {
    }
    if (bad != listed) Fault("the reader's count differs from the bad lines listed");
    FreeSettings();
    return 0;
}
