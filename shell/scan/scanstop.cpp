#include "shell/scan/scanstop.h"

volatile sig_atomic_t ScanTimeoutFlag = 0;
int32_t MailWalkActive = 0;
