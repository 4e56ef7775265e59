#include "unix/tvprotosettings.h"

int SocketTimeout = 10;
bool LogProcessInfo = true;
