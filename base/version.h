// The version of this build: the one place the banner, the version screen
// and the version templates of the messages take it from.
#pragma once

// Literal forms, for texts that are put together at compile time.
#define TARVO_VERSION_TEXT "6.0.2.1"
#define TARVO_BUILD_DATE "2009-02-02"

constexpr int VersionMajor = 6;
constexpr int VersionMinor = 0;
constexpr const char VersionSuffix[] = ".2";
constexpr int BuildYear = 2009;
constexpr int BuildMonth = 2;
constexpr int BuildDay = 2;
constexpr int BuildNumber = 0;
constexpr const char FullVersionText[] = TARVO_VERSION_TEXT;

// The platform edition named in the banner and in error lines.
constexpr const char EditionText[] = "Linux";
