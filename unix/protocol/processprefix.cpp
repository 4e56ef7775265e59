#include "unix/protocol/processprefix.h"

#include <cstdio>
#include <unistd.h>

#include "base/processid.h"
#include "unix/protocol/protocolsettings.h"

char ClientPeerAddress[257] = "";

void FormatProcessPrefix(char* buffer, size_t size) {
    if (size == 0) return;
    buffer[0] = '\0';
    if (!LogProcessInfo) return;
    const pid_t pid = OwnPid();
    if (ClientPeerAddress[0] != '\0')
        snprintf(buffer, size, "%.256s [%ld] ", ClientPeerAddress, static_cast<long>(pid));
    else
        snprintf(buffer, size, "[%ld] ", static_cast<long>(pid));
}
