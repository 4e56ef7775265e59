#include "unix/protocol/dispatch.h"

#include "unix/protocol/scanrequest.h"
#include "unix/protocol/servicecommands.h"
#include "unix/protocol/updatescript.h"

CommandHandler FindCommandHandler(uint32_t code) {
    switch (code) {
    case 1:
        return ServeScanRequest;
    case 2:
        return SendProtocolVersion;
    case 3:
        return SendLoadedBases;
    case 4:
        return SendVersionText;
    case 5:
        return ServeWindowScanRequest;
    case 9:
        return RunUpdateScript;
    case 10:
        return SendLoadedBasesWithHeaders;
    case 11:
        return ServeDiskScanRequest;
    default:
        return nullptr;
    }
}
