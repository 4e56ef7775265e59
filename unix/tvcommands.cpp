#include "unix/tvdispatch.h"

#include "unix/servicecommands.h"
#include "unix/updatescript.h"

CommandHandler FindCommandHandler(uint32_t code) {
    switch (code) {
    case 2:
        return SendProtocolVersion;
    case 3:
        return SendLoadedBases;
    case 4:
        return SendVersionText;
    case 9:
        return RunUpdateScript;
    case 10:
        return SendLoadedBasesWithHeaders;
    default:
        return nullptr;
    }
}
