// The configuration reader on arbitrary text: every line through the tokenizer, then the whole text
// through the reader into fresh settings.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/filelayer.h"
#include "base/messages.h"
#include "fuzz/fuzz_support.h"
#include "shell/settings/scansettings.h"
#include "unix/protocol/clientlogs.h"
#include "unix/config/configlexer.h"
#include "unix/config/configkeys.h"
#include "unix/config/configreader.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/poolparams.h"
#include "unix/config/settingslife.h"

namespace {

// The values no load resets, as the program starts; restored before every input so that one input
// does not change what the next one does.
auto KeptValues() {
    return std::tie(ProgressBarColor, FilesTypesWarnings, SyslogFacility, SyslogPriority, RunForeground,
                    UseMaxMemory, PoolParameters, PoolAutoFlag, EngineInstanceLimit);
}
template <typename... T> std::tuple<T...> CopyOf(const std::tuple<T&...>& values) {
    return values;
}
using KeptCopy = decltype(CopyOf(KeptValues()));

KeptCopy& Kept() {
    static KeptCopy kept;
    return kept;
}

void RestoreKeptValues() {
    KeptValues() = Kept();
    TempPath[0] = '\0';
    ProgressBar[0] = 0xB0;
    ProgressBar[1] = 0xB2;
    ClientLogTargets.clear();
    MailCommand.clear();
    MailTo.clear();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CreateMessageCatalogue();
    LoadDefaultMessages();
    Kept() = KeptValues();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    // The tokenizer over the text as one stream: each call takes one logical line.
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (size_t lines = 0; lines <= size && in.peek() != EOF; ++lines) TokenizeConfigLine(in, tokens);

    // The lexer's readers in turn, the first byte kept as a word character by the value reader.
    std::istringstream raw(text);
    ConfigLexer lexer(raw);
    const char keep = size ? static_cast<char>(data[0]) : '=';
    for (size_t i = 0; i <= size; ++i) {
        int kind;
        switch (i % 4) {
        case 0:
            kind = lexer.NextConfigKeyToken();
            break;
        case 1:
            lexer.SkipOptionalEquals();
            kind = lexer.NextConfigToken();
            break;
        default:
            kind = lexer.NextConfigValueToken(keep);
            break;
        }
        if (kind == kConfigEnd) break;
    }

    RestoreKeptValues();
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
