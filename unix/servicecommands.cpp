#include "unix/servicecommands.h"

#include <arpa/inet.h>

#include "unix/tvwire.h"

int SendProtocolVersion(int fd, TimeBudget& budget, bool honourStop) {
    SendWord(htonl(kProtocolVersion), fd, budget, false, honourStop);
    return 2;
}
