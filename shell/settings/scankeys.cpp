#include "shell/settings/scankeys.h"

char RenameFilesTo[4] = "#??";
char MoveFilesTo[kPathBufSize] = "/var/tarvo/infected";
int32_t LogScanned = 1;
int32_t LogArchived = 1;
int32_t FilesTypesWarnings = 1;
int32_t MaxArchiveLevel = 0;
int64_t MaxFileSizeToExtract = -1;
int32_t MaxCompressionRatio = -1;
int32_t CompressionCheckThreshold = -1;
int32_t EnableDeleteArchiveAction = 0;
int32_t StopOnFirstInfected = 0;
