#include "unix/protocol/dispatch.h"

#include <arpa/inet.h>

#include <new>

#include "unix/protocol/protocolsettings.h"
#include "unix/protocol/wire.h"
#include "unix/protocol/wirelog.h"

int DispatchCommandWith(CommandLookup lookup, int fd, bool honourStop) {
    TimeBudget budget = BudgetFromSeconds(SocketTimeout);
    uint32_t code = 0;
    if (ReadWord(fd, budget, true, &code) != 0) return -2;
    if (code == 0xFFFFFFFEu) return -2;
    if (code == 0xFFFFFFFFu) return -1;
    if (const CommandHandler handler = lookup(code)) {
        try {
            return handler(fd, budget, honourStop);
        } catch (const std::bad_alloc&) {
            // What the request held is freed by now; where it stopped in the stream is not known, so
            // its connection ends, not the process.
            LogProtocolLine("%s!", ProtocolMessage(170));
            return -1;
        }
    }
    LogProtocolLine(ProtocolMessage(136), static_cast<int>(code));
    SendWord(htonl(kUnknownCommandReply), fd, budget, false, honourStop);
    return -2;
}

int DispatchCommand(int fd, bool honourStop) {
    return DispatchCommandWith(FindCommandHandler, fd, honourStop);
}
