// unix/config: the configuration file and the command line, the daemon's settings and their life
// from defaults through file and command line to reload. Uses base and shell.
//
// The configuration file reader: where the file is, which section is read,
// how a line reaches the parser of its key, and the lists of complaints that
// start-up reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/tvlist.h"
#include "base/tvstrlist.h"

class ConfigSource;

// Path buffers hold 4096 characters and a terminator.
constexpr size_t kConfigPathSize = 4097;
constexpr size_t kConfigPathMax = kConfigPathSize - 1;

extern const char kDefaultConfigPath[];
// The configuration file; the pre-scan of the command line replaces it.
extern char ConfigFilePath[kConfigPathSize];
// "-ni": the file is not read at all.
extern int32_t NoIniFlag;
// "-ini=" or "-ini:" was given; cleared by every pre-scan.
extern int32_t IniGivenFlag;
// Number of the physical line at which the current logical line starts.
extern uint32_t ConfigLineNumber;

// Set by every read; the first line of each list key in the file clears its
// list and its flag, so the file's lines replace the built-in list.
extern int32_t FilesTypesFirstUse;
extern int32_t UserMasksFirstUse;
extern int32_t ExcludePathsFirstUse;
extern int32_t VirusBaseFirstUse;
extern int32_t MissingHeaderFirstUse;

constexpr size_t kConfigErrorTextMax = 4096;
struct ConfigErrorLine {
    uint32_t line;
    std::string text; // at most kConfigErrorTextMax characters
};

constexpr size_t kObsoleteNameMax = 4097;
struct ObsoleteParameter {
    std::string text; // always empty
    std::string name;
};

// The bad lines of a read, in the order found. Each costs about its text, and the check for one
// already listed looks only at those of its line number: a file of many bad lines is read in
// linear time and memory.
class ConfigErrorLines {
public:
    // Lists the line unless the same line number with the same text (without case) is listed.
    void Add(const char* text, uint32_t line);
    size_t Count() const { return lines_.size(); }
    const ConfigErrorLine* At(size_t index) const { return index < lines_.size() ? &lines_[index] : nullptr; }

private:
    std::vector<ConfigErrorLine> lines_;
    std::unordered_multimap<uint32_t, size_t> byLine_;
};

// Bad lines and obsolete keys of the last read; made by CreateSettings.
extern std::unique_ptr<ConfigErrorLines> ConfigErrorList;
extern std::unique_ptr<std::vector<ObsoleteParameter>> ObsoleteParameterList;

// Records a bad line once: the same line number with the same text (without
// case) is not listed twice. The text is cut to 4096 characters.
void AddConfigError(const char* text, uint32_t line);
// Records an obsolete key, without a duplicate check.
void AddObsoleteParameter(const char* name);

// The shared step of the list keys: on the key's first line in the file the
// list is emptied; then the values (tokens 1 to count-1) are appended.
int32_t SetListValues(const char* const* tokens, int count, tvStringList* list, int32_t* firstUse);

// Reads the configuration file: 0 with the no-INI flag set (nothing read),
// -1 when the path cannot be opened or is not a regular file, else the
// number of bad lines listed afterwards.
int32_t ReadConfigFile();
// The same read over a text instead of a file.
int32_t ReadConfigText(const std::string& text);
int32_t ReadConfigSource(ConfigSource& source);
// Points the key parsers at the process-wide scan settings and reads the
// file; returns what ReadConfigFile returns.
int32_t LoadConfiguration();

// Walks of the complaint lists for the start-up report; null at the end.
const ConfigErrorLine* FirstConfigError();
const ConfigErrorLine* NextConfigError();
const ObsoleteParameter* FirstObsoleteParameter();
const ObsoleteParameter* NextObsoleteParameter();
