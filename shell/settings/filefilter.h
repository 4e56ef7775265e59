// The file filter: whether an object is worth handing to the engine, by its
// extension, its name or its first bytes.
#pragma once

#include <cstddef>
#include <cstdint>

class TarvoMainSettings;

// Mode 3: the base name against the name masks; any other mode: the
// extension of the last path component against the file-type masks (mode 0)
// or the built-in extensions (other modes). No extension never matches.
bool MatchMasks(TarvoMainSettings& settings, const char* name, int mode);

// 1 to scan, 0 to skip, by the settings' filter mode. ownMask, when not null,
// replaces the name masks for the base name. header, when not null, holds
// the object's first headerLen bytes; otherwise the content filter reads
// them itself (an object that cannot be read is scanned). size 0 means
// unknown: the content filter then measures an object it opens.
int FilterFile(TarvoMainSettings& settings, const char* ownMask, const char* name, uint64_t size,
               const uint8_t* header, size_t headerLen);
