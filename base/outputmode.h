// Console output mode, the process-wide setting of the OutputMode key.
#pragma once

enum : int {
    OutputModeTerminal = 1,
    OutputModeQuiet = 2,
};

extern int OutputMode;

inline bool IsQuietOutput() {
    return OutputMode == OutputModeQuiet;
}
