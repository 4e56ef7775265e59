#pragma once
// The client type a scan request names, and the per-client log target it selects.

#include <cstddef>
#include <cstdint>

#include "base/pathutil.h"

// The internal client type of the request being served (0: none or not recognised).
extern int RequestClientType;

// The internal type of a client-type word of the wire: 1 "TarvoDC" -> 4, 2 "SmbGlivor" -> 3, 3 "Web" -> 2,
// 4 "Mail" -> 1, 5 "Kerio" -> 5, 6 "Lotus" -> 6; any other code -> 0.
int MapClientType(uint32_t wireCode);

// The name of an internal client type ("Unknown client" for 0 and anything unknown).
const char* ClientTypeName(int internalType);

// The ClientsLogs entry of RequestClientType, when it has a target: "syslog" (without case) turns syslog
// output on; any other value turns it off and becomes the log file name. A target that does not fit the
// log file name is left alone. Also selects the log-line prefix of the client type.
void ApplyClientLogSettings();

// The log target and prefix as they were before a request; a request's switch lasts for that request
// only.
class ClientLogScope {
public:
    ClientLogScope();
    ~ClientLogScope();
    ClientLogScope(const ClientLogScope&) = delete;
    ClientLogScope& operator=(const ClientLogScope&) = delete;

private:
    int toSyslog_;
    int clientType_;
    int requestType_;
    char fileName_[kPathBufSize];
};
