#include "unix/protocol/signalflags.h"

volatile sig_atomic_t StopFlag = 0;
volatile sig_atomic_t ReloadFlag = 0;
volatile sig_atomic_t ExitFlag = 0;
volatile sig_atomic_t StopPending = 0;
