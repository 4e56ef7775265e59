// The version screen of the version option.
#pragma once

// What the screen learns from the engine table: the shell's version text,
// how to start an engine (the instance index, or -1), and the version text of
// the started engine. A hook left null shows an empty text or starts nothing.
struct VersionScreenSource {
    const char* (*shellVersion)();
    int (*startEngine)();
    const char* (*engineVersion)();
};
extern VersionScreenSource VersionSource;

// Shows the shell and engine versions on the console, then leaves the
// console quiet. Returns 0.
int PrintVersions();
