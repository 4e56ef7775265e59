// The size and timing of the pool of scanning children (the ProcessesPool
// key).
#pragma once

#include <cstdint>
#include <string>

struct ProcessPoolParameters {
    int32_t minChildren;
    int32_t maxChildren;
    int32_t idleTimeout; // seconds an extra child may stay idle
    uint32_t statistics; // log the pool statistics (0 or 1)
    int32_t stopTimeout; // seconds a stopping child is given
    int32_t timerPeriod; // seconds between the master's timer runs
};

// The pool parameters; they persist across reloads and change only when a
// ProcessesPool line parses completely.
extern ProcessPoolParameters PoolParameters;
// "auto" was given once; never cleared, shown only by the statistics.
extern int32_t PoolAutoFlag;

// Copies read only by the pool statistics report.
struct PoolReportCopies {
    int32_t minChildren;
    int32_t maxChildren;
    int32_t maxChildrenCopy;
    int32_t idlePlusStop;
};
extern PoolReportCopies PoolReport;

// The engine instances that exist; a pool line lowers the limit in use to its
// maximum of children.
constexpr uint32_t kEngineInstanceCount = 16;
extern uint32_t EngineInstanceLimit;

// `name` gets the text before the first character of `delimiters`, `value`
// the text after the last one; without a delimiter `name` is the whole text
// and `value` is left as it was.
void SplitNameValue(const std::string& text, std::string& name, std::string& value, const char* delimiters);

// ProcessesPool: "auto" or MIN[-MAX], then up to three of "timeout=S",
// "stop_timeout=S", "stat=yes". 1 when the whole value is valid (and stored),
// else 0 with the parameters unchanged.
int32_t ParseProcessesPool(const char* const* tokens, int count);
