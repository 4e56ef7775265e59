#include "unix/tvdispatch.h"

CommandHandler FindCommandHandler(uint32_t code) {
    switch (code) {
    // The scan requests (1, 5, 11) and the service commands (2, 3, 4, 9, 10) join here with their
    // handlers.
    default:
        return nullptr;
    }
}
