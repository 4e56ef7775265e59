#include "base/outputmode.h"

int OutputMode = OutputModeTerminal;
