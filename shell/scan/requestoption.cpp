#include "shell/scan/requestoption.h"

uint32_t RequestOptionWord = 0;
