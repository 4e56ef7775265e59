// The configuration values and flags that the shell reads are defined with
// the daemon's configuration; the shell's tests link no daemon and define
// them here, at their defaults.
#include "shell/settings/shellkeys.h"

#include "base/pathutil.h"

std::unique_ptr<tvStringList> VirusBase;
char EnginePath[kPathBufSize];
char TempPath[kPathBufSize];
int32_t UseDiskForSwap = 1;
int32_t LogInfected = 1;
int32_t LogPacked = 1;
uint32_t EngineInstanceLimit = 16;
volatile sig_atomic_t StopFlag = 0;
