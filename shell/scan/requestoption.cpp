#include "shell/requestoption.h"

uint32_t RequestOptionWord = 0;
