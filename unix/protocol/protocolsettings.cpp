#include "unix/protocol/protocolsettings.h"

int SocketTimeout = 10;
int LogProcessInfo = 1;
