// The platform's floor: a server that reads a length word and that many bytes, and answers with
// the length word, over the same kind of socket as the daemons. It runs in a child process of its
// own, driven by poll from one thread, and ends with its parent.
#pragma once

#include <sys/types.h>

#include <string>

namespace bench {

// Starts the server on a Unix-domain socket at path (a TCP port on the loopback when port is not
// 0); its pid once it listens, or -1.
pid_t StartEchoServer(const std::string& path, int port);

// Stops it by its pid and waits (bounded) for its end.
void StopEchoServer(pid_t pid);

} // namespace bench
