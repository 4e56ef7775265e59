#include "unix/tvdispatch.h"

#include "unix/servicecommands.h"
#include "unix/updatescript.h"

CommandHandler FindCommandHandler(uint32_t code) {
    switch (code) {
    case 2:
        return SendProtocolVersion;
    case 9:
        return RunUpdateScript;
    default:
        return nullptr;
    }
}
