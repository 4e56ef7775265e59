// Configuration keys read by the scan task and the container walk, each
// named after its key; the configuration reader assigns them.
#pragma once

#include <cstdint>

#include "base/pathutil.h"

// The extension mask of the rename action: 1 to 3 characters, '?' keeps
// the original character.
extern char RenameFilesTo[4];
// The folder infected objects are moved to.
extern char MoveFilesTo[kPathBufSize];
// Report lines for clean objects, and for containers and their levels.
extern int32_t LogScanned;
extern int32_t LogArchived;
// Report objects that the file filter skips.
extern int32_t FilesTypesWarnings;
// Archive nesting at which archives are no longer opened; 0: no limit.
extern int32_t MaxArchiveLevel;
// Bytes; -1 (all ones): no limit.
extern int64_t MaxFileSizeToExtract;
// -1: off.
extern int32_t MaxCompressionRatio;
// Kilobytes; -1 tests every object.
extern int32_t CompressionCheckThreshold;
// The delete action applies to infected archives too.
extern int32_t EnableDeleteArchiveAction;
// The walk through a container ends after its first infected object.
extern int32_t StopOnFirstInfected;
