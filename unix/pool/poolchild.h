// The child side of the pool: a child accepts clients on the shared listeners and serves them,
// reporting to the master around each command. The master forks it and knows nothing else of it.
//
// Master-child words (host order): the child writes 1 before a command (answer 0), 2 and W after it
// (W echoed), 3 to hand its connection back (answer 3, then the descriptor over the socket pair).
#pragma once

#include <cstdint>
#include <memory>

#include "unix/pool/socketbase.h"
#include "unix/protocol/dispatch.h"

// Status words of the master-child pipes.
enum : uint32_t {
    kChildIdle = 0,
    kChildCommandBegins = 1,
    kChildCommandDone = 2,
    kChildHandsBack = 3,
};

// The commands a child serves (the protocol's own by default).
extern CommandLookup SessionCommands;

// One iteration of a child: the handed connection first, then one wait on all listeners and the
// clients accepted there.
void AcceptClients(std::unique_ptr<SocketBase>& handed);
// The command loop on one connection; hands it back when told to hand back or to stop.
void ServeClientSession(SocketBase& connection);
// The child's life after the fork: the connection handed to it (or none), whether it ends once that
// connection is done (others wait for a slot), its end of the socket pair and its ends of the two
// pipes. The master's state was released before.
[[noreturn]] void RunPoolChild(std::unique_ptr<SocketBase> handed, bool endAfterHanded, int pairEnd,
                               int statusWrite, int replyRead);
