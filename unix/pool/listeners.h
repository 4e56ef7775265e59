// The daemon's listening sockets: the process-wide list, their opening from the configured sockets,
// their reconciliation on reload and their closing.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>

#include "base/tvptrlist.h"
#include "unix/pool/listeningsocket.h"

// Owns the listeners it holds; in the order they were opened.
class SockList : public tvPointerList {
public:
    SockList() = default;
    SockList(const SockList&) = delete;
    SockList& operator=(const SockList&) = delete;
    // Every socket closed with shutdown and its path removed, then destroyed.
    ~SockList() override;

    // Takes the socket; false (and the socket destroyed) when out of memory.
    bool Append(std::unique_ptr<ListeningSocket> socket);
    // Element i (from 0), or null; does not move the cursor.
    ListeningSocket* At(uint32_t i) const;
    // Removes and destroys the socket (closed as its destructor does).
    void Destroy(ListeningSocket* socket);
    // Close (shutdownFirst, unlinkPath) and destroy every socket, then clear the list.
    void CloseAll(int shutdownFirst, int unlinkPath);
};

// The listeners of this process, inherited by every child of the pool.
extern SockList Listeners;

// Opens every socket of the unix and inet configured socket lists that is not yet open (an inet host
// marked with a leading '*' is skipped) and makes all listeners non-blocking. 0 when at least one
// listener is open, -1 otherwise (message 118). Outside the first start the active interfaces are
// printed.
int OpenListeningSockets(int firstStart);
// Listeners.CloseAll.
void CloseListeners(int shutdownFirst, int unlinkPath);
// The reload's part: keeps the listeners that are still configured, closes the others,
// opens the new ones and rewrites the pid file when the set of listeners or the pid-file path changed
// (the file at oldPidPath, the expanded path before the reload, is then removed). 0, or -1 with the
// reload flag cleared.
int ReconcileListeners(const char* oldPidPath);
// A dotted address or a host name with an IPv4 address: 1 and *address filled, or 0 after message 114.
int ResolveHost(const char* text, in_addr* address);
