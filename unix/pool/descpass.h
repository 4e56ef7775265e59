// Passing a client connection's descriptor between processes over a Unix-domain socket pair.
#pragma once

#include <cstdint>

// Sends fd as one SCM_RIGHTS message with the data "dummy". 0, or -1 after its message.
int SendDescriptor(int socket, int fd);
// Waits up to waitMillis (< 0: no limit) for one message and returns the descriptor it carries
// (close-on-exec), or -1 after its message. A message with a cut control part or more than one
// descriptor is refused, and whatever it carried is closed.
int ReceiveDescriptor(int socket, int64_t waitMillis = -1);
