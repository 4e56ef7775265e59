#include "shell/scan/lockword.h"

#include <unistd.h>

uint32_t LockWordPolls = 100000;

bool WaitAndTakeLockWord(volatile uint32_t& word) {
    for (uint32_t polls = 0; word; polls++) {
        if (polls >= LockWordPolls) return false;
        usleep(100);
    }
    word = 1;
    return true;
}
