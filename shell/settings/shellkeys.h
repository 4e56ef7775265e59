// Configuration values and process-wide flags that the scanning shell reads
// but does not own: they are defined with the configuration keys and the
// signal flags of the daemon (unix/). A program that links the shell without
// the daemon defines them itself.
#pragma once

#include <csignal>
#include <cstdint>
#include <memory>

#include "base/tvstrlist.h"

// The virus-base masks ("VirusBase").
extern std::unique_ptr<tvStringList> VirusBase;
// The engine module file as configured; the shell expands it into EngineFilePath.
extern char EnginePath[];
// The folder of temporary files for the engine.
extern char TempPath[];
// With 0 the engine's requests for a temporary file on disk fail.
extern int32_t UseDiskForSwap;
// Report lines for findings and for packed objects.
extern int32_t LogInfected;
extern int32_t LogPacked;
// How many engine instances may exist (at most kEngineInstanceCount).
extern uint32_t EngineInstanceLimit;
// A shutdown is under way: base loading stops between two bases.
extern volatile sig_atomic_t StopFlag;
