// The command line: the pre-scan for the configuration file ("-ni", "-ini=",
// "-ini:"), run before the file is read, and the main pass, run after it, so
// that an option overrides the file.
#pragma once

#include <cstdint>
#include <memory>

#include "base/tvlist.h"
#include "base/tvstrlist.h"

// argv[1] .. argv[argc-1] in order, built by the pre-scan.
extern std::unique_ptr<tvStringList> ArgumentList;
// Arguments that no option accepted.
extern std::unique_ptr<tvStringList> BadOptionList;
// Obsolete options; nothing adds to it.
extern std::unique_ptr<tvList> ObsoleteOptionList;

// Flags set by the main pass and read by start-up.
extern int32_t HelpFlag;
extern int32_t VersionFlag;
extern int32_t CheckOnlyFlag;
// -DBG (-1) or -DBG:N; nothing else reads it.
extern int32_t DebugLevel;
// Set by -OLD and -ST, cleared by -NF; nothing reads them.
extern int32_t OldOptionFlag;
extern int32_t StOptionFlag;
extern int32_t NfOptionFlag;

// A handler takes the option's text after its first '-' and that text's
// length, and returns 0 when it accepts the option.
typedef int (*CommandLineHandler)(const char* text, uint32_t length);

struct CommandLineOption {
    uint32_t compareLength; // 0 ends the table
    uint32_t maxLength;
    const char* name; // the option after its first '-'
    CommandLineHandler handler;
};

extern const CommandLineOption CommandLineOptionTable[];

// The folder the program was started from, kept before it changes to "/": a relative "-ini="
// path is taken from there, at the start and at every reload. Empty: not known.
extern char StartFolder[];
void RememberStartFolder();

// Builds the argument lists from argv and applies "-ni", "-ini=" and "-ini:"
// in order (the last of them wins). The path of "-ini=" is expanded into the
// configuration path; one that does not fit leaves that path empty, so the
// file cannot be read.
void PrescanCommandLine(int argc, const char* const* argv);

// The main pass over the argument list: 1 when every argument was accepted,
// else 0 (the rest are listed in BadOptionList).
int ParseCommandLine();
// "-h" sets the help flag, "-v" the version flag; anything else is listed as
// a bad option.
void AddBadArgument(const char* argument);

// Walks of the bad-option and obsolete-option lists; null at the end.
const char* FirstBadOption();
const char* NextBadOption();
const char* FirstObsoleteOption();
const char* NextObsoleteOption();

// Texts of the usage lines, by message number, in the order printed.
extern const uint32_t kUsageMessages[];
extern const uint32_t kUsageMessageCount;
// Prints the usage lines, stopping early at a message whose text is
// "<empty>".
void PrintUsage();

// Exit status of the launcher when the options load ends without a start:
// 0 after a version request or --check-only, else 255 (help included).
int OptionsExitStatus();
