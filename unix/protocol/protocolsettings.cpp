#include "unix/tvprotosettings.h"

int SocketTimeout = 10;
int LogProcessInfo = 1;
