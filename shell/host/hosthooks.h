// The host services behind the seams that other parts of the shell leave
// open: the object access of the file filter and the file-type check (which
// then see the memory files of a request too), and the version screen's
// source of version texts and engine start.
#pragma once

#include "shell/host/objectaccess.h"
#include "shell/engine/versionscreen.h"

extern const ObjectAccess HostObjectAccess;
extern const VersionScreenSource EngineVersionSource;

// Points ShellObjectAccess and VersionSource at the two above.
void ConnectHostServices();
