#include "unix/config/configreader.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/strutil.h"
#include "shell/settings/scansettings.h"
#include "unix/config/configkeys.h"
#include "unix/config/configlexer.h"
#include "unix/config/configsource.h"

const char kDefaultConfigPath[] = "/etc/tarvo/tarvo32.ini";
char ConfigFilePath[kConfigPathSize] = "/etc/tarvo/tarvo32.ini";
int32_t NoIniFlag = 0;
int32_t IniGivenFlag = 0;
uint32_t ConfigLineNumber = 1;

int32_t FilesTypesFirstUse = 1;
int32_t UserMasksFirstUse = 1;
int32_t ExcludePathsFirstUse = 1;
int32_t VirusBaseFirstUse = 1;
int32_t MissingHeaderFirstUse = 1;

std::unique_ptr<ConfigErrorLines> ConfigErrorList;
std::unique_ptr<std::vector<ObsoleteParameter>> ObsoleteParameterList;

namespace {

// Keys that are no longer read, recognised in any section by their start.
const char* const kObsoleteConditionKeys[] = {
    "AcceptCondition",
    "AcceptPartCondition",
    "RejectCondition",
    "RejectPartCondition",
};

enum class Section { Outside, Daemon };

// What the reader knows between lines: the section it is in, whether a "[Daemon]" section was
// found at all, and the first line that it ignored for want of one.
struct ReaderState {
    Section section = Section::Outside;
    bool daemonFound = false;
    uint32_t firstIgnoredLine = 0;
    std::string firstIgnoredText;
};

// Walk positions of the complaint lists for the report.
size_t errorCursor = 0;
size_t obsoleteCursor = 0;

const char* ObsoleteConditionKey(const char* text) {
    for (const char* name : kObsoleteConditionKeys)
        if (strncasecmp(text, name, strlen(name)) == 0) return name;
    return nullptr;
}

// A section header followed by a comment: the header alone, else "".
std::string HeaderBeforeComment(const char* text) {
    if (*text != '[') return std::string();
    const char* close = strchr(text, ']');
    if (!close) return std::string();
    const char* rest = close + 1;
    while (*rest == ' ' || *rest == '\t') ++rest;
    if (*rest != '#') return std::string();
    return std::string(text, static_cast<size_t>(close + 1 - text));
}

// Handles one logical line.
void HandleLine(const std::string& line, ReaderState& state) {
    // Control characters, blanks and bytes above 0x7F before the text.
    const char* text = line.c_str();
    while (*text && static_cast<signed char>(*text) <= 32) ++text;

    if (const char* obsolete = ObsoleteConditionKey(text)) {
        AddObsoleteParameter(obsolete);
        return;
    }
    // A comment after leading blanks, whatever it holds.
    const size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line[first] == '#') return;

    const std::string header = HeaderBeforeComment(text);
    std::vector<std::string> tokens;
    int count = TokenizeConfigLine(header.empty() ? line : header, tokens);
    if (count == 0) return;
    if (count == 1 && tokens[0][0] == '[') {
        const bool daemon = strcasecmp(tokens[0].c_str(), "[Daemon]") == 0;
        state.section = daemon ? Section::Daemon : Section::Outside;
        if (daemon) state.daemonFound = true;
    }
    if (state.section != Section::Daemon) {
        if (state.firstIgnoredLine == 0) {
            state.firstIgnoredLine = ConfigLineNumber;
            state.firstIgnoredText = line;
        }
        return;
    }
    if (count == 1 && tokens[0][0] == '[') return;
    if (count > 0 && tokens[0][0] == '#') return;
    if (count < 0) {
        AddConfigError(line.c_str(), ConfigLineNumber);
        return;
    }

    const ConfigKeyRow* row = FindConfigKey(tokens[0].c_str());
    if (!row || count < row->minTokens || (row->maxTokens != kAnyTokenCount && count > row->maxTokens)) {
        AddConfigError(line.c_str(), ConfigLineNumber);
        return;
    }
    const char* pointers[kMaxConfigTokens];
    for (int i = 0; i < count; ++i) pointers[i] = tokens[static_cast<size_t>(i)].c_str();
    if (row->parser(pointers, count) == 0) AddConfigError(line.c_str(), ConfigLineNumber);
}

} // namespace

void ConfigErrorLines::Add(const char* text, uint32_t line) {
    std::string cut(text, strnlen(text, kConfigErrorTextMax));
    const auto same = byLine_.equal_range(line);
    for (auto it = same.first; it != same.second; ++it)
        if (StrEqualNoCase(lines_[it->second].text.c_str(), cut.c_str())) return;
    byLine_.emplace(line, lines_.size());
    lines_.push_back(ConfigErrorLine{line, std::move(cut)});
}

void AddConfigError(const char* text, uint32_t line) {
    if (ConfigErrorList) ConfigErrorList->Add(text, line);
}

void AddObsoleteParameter(const char* name) {
    if (!ObsoleteParameterList) return;
    ObsoleteParameterList->push_back(
        ObsoleteParameter{std::string(), std::string(name, strnlen(name, kObsoleteNameMax))});
}

int32_t SetListValues(const char* const* tokens, int count, tvStringList* list, int32_t* firstUse) {
    if (!list) return 1;
    if (*firstUse) {
        list->Clear();
        *firstUse = 0;
    }
    for (int i = 1; i < count; ++i) list->AddString(tokens[i]);
    return 1;
}

int32_t ReadConfigSource(ConfigSource& source) {
    FilesTypesFirstUse = 1;
    UserMasksFirstUse = 1;
    ExcludePathsFirstUse = 1;
    VirusBaseFirstUse = 1;
    MissingHeaderFirstUse = 1;
    ConfigLineNumber = 1;
    ReaderState state;

    std::string line;
    uint32_t physical = 0;
    while (ReadConfigLine(line, source, physical) > 0) {
        HandleLine(line, state);
        ConfigLineNumber += physical;
    }
    // Settings that were never read are not ignored in silence: the first of them is reported.
    if (!state.daemonFound && state.firstIgnoredLine != 0)
        AddConfigError(state.firstIgnoredText.c_str(), state.firstIgnoredLine);
    return ConfigErrorList ? static_cast<int32_t>(ConfigErrorList->Count()) : 0;
}

int32_t ReadConfigText(const std::string& text) {
    ConfigSource source(text);
    return ReadConfigSource(source);
}

int32_t ReadConfigFile() {
    if (NoIniFlag) return 0;
    // Non-blocking, so that a FIFO in its place cannot hold the start-up;
    // only a regular file is read.
    int fd = open(ConfigFilePath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* file = fdopen(fd, "r");
    if (!file) {
        close(fd);
        return -1;
    }
    int32_t result;
    {
        ConfigSource source(file);
        result = ReadConfigSource(source);
    }
    fclose(file);
    return result;
}

int32_t LoadConfiguration() {
    ConfigTargetSettings = MainSettings;
    return ReadConfigFile();
}

const ConfigErrorLine* FirstConfigError() {
    errorCursor = 0;
    return ConfigErrorList ? ConfigErrorList->At(errorCursor) : nullptr;
}

const ConfigErrorLine* NextConfigError() {
    return ConfigErrorList ? ConfigErrorList->At(++errorCursor) : nullptr;
}

const ObsoleteParameter* FirstObsoleteParameter() {
    obsoleteCursor = 0;
    return ObsoleteParameterList && !ObsoleteParameterList->empty() ? &ObsoleteParameterList->front()
                                                                    : nullptr;
}

const ObsoleteParameter* NextObsoleteParameter() {
    if (!ObsoleteParameterList || ++obsoleteCursor >= ObsoleteParameterList->size()) return nullptr;
    return &(*ObsoleteParameterList)[obsoleteCursor];
}
