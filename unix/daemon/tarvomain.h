// unix/daemon: the program's life: start-up, the switch of user, signals, reload and shutdown, the
// pid file, the bases' age and notification mail. Uses everything below it.
//
// The program's entry: the launcher that loads the options and starts the daemon.
#pragma once

// The exit status: 0 after a start (and in the master after its shutdown), 0 after a version
// request or a clean --check-only, 64 when the start fails, 255 when the options do not load or
// after help.
int TarvoMain(int argc, char** argv);
