// The life of the configuration-held objects: made with their defaults before
// every read of the file, released at shutdown and before every reload.
#pragma once

#include <cstddef>

// The running program's path for argv[0]: expanded when it begins with '~',
// '.' or '/'; otherwise the first PATH entry holding a readable and
// executable file of that name; otherwise argv[0] as it is. `out` holds
// kConfigPathSize bytes.
void ResolveProgramPath(const char* argv0, char* out, size_t size);

// The program path, then CreateSettings, then the pre-scan of the command
// line. 0, or -1 when the settings could not be made.
int InitSettings(int argc, const char* const* argv);
// Makes the socket lists, the default-address list, the engine module list
// (unless a kept engine still has one), the base-mask and header lists, the scan settings and the complaint
// lists, then sets every default. 0, or -1 when something could not be allocated.
int CreateSettings();
// Run by CreateSettings right after the defaults are set; null in the program. A test that loads
// the options in-process points the built-in paths into its own folder with it.
extern void (*DefaultSettingsHook)();
// Releases everything CreateSettings made; harmless when nothing exists.
void FreeSettings();
// FreeSettings and the argument, bad-option and obsolete-option lists.
void FreeAllSettings();
void ResetSettings();
