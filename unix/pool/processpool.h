// unix/pool: listening sockets, the process pool's master and children, descriptor passing and
// busy files. Uses base, unix/config and unix/protocol, and the daemon's pid file.
//
// The pool of pre-forked scanning children. The master keeps it between its minimum and maximum and
// never accepts a connection itself; each child accepts clients on the shared listeners and serves
// them command after command, reporting to the master around each command over a pair of pipes
// (unix/pool/poolchild.h).
#pragma once

#include <sys/types.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>

#include "unix/pool/poolchild.h"
#include "unix/pool/socketbase.h"

// One possible child of the pool.
struct ChildSlot {
    pid_t pid = 0;         // 0: free
    time_t busySince = 0;  // 0 while idle
    time_t lastChange = 0; // started, or last command finished
    time_t stopTime = 0;   // asked to stop (0: not)
    int statusRead = -1;   // master's end of the child-to-master pipe
    int replyWrite = -1;   // master's end of the master-to-child pipe
    // A connection handed back by an earlier child, to be served first by this slot's child. The
    // master drops its copy as soon as the child runs.
    std::unique_ptr<SocketBase> handed;
    int childPairEnd = -1;
    int masterPairEnd = -1;
};

struct PoolCounters {
    int alive = 0;
    int busy = 0;
    int requests = 0;
    double meanSeconds = 0; // mean processing time of a command
    long long busySeconds = 0;
    int newProcessRequests = 0;
    int creationFailures = 0;
    time_t startTime = 0;
};

// The slot table: as many slots as the pool maximum.
extern std::unique_ptr<ChildSlot[]> ChildSlots;
extern size_t ChildSlotCount;
extern PoolCounters PoolStats;

// Set to the own pid at start and to the result of every fork: 0 only in a child of the pool.
extern volatile sig_atomic_t ForkMarker;
// The signal that started the shutdown.
extern volatile sig_atomic_t ShutdownSignal;

// What the pool calls on the daemon's life (set by the start-up code): the reload of options and
// listeners, 0 on success; the release of everything before the master exits.
extern int (*PoolReloadRoutine)();
extern void (*PoolShutdownRoutine)();

// A fresh table of count slots (any old one is dropped): 0, or -1 when out of memory.
int CreateSlotTable(size_t count);
// Closes what the slots still hold and frees the table.
void FreeSlotTable();
// The most children that may be alive: the pool maximum, within the slot table and within the
// descriptors left for the master's three per child.
int PoolChildLimit();

// The master loop: 0 after a shutdown, 64 when there is no slot table to start children in.
int RunProcessPool();
// Arms the timer and starts max(pending connections, minimum) children within the child limit, the
// first ones each with a pending connection; the rest stay pending for slots that free up. 0, or -1
// when not one child could be started.
int SpawnChildren();
// Pipes, socket pair and fork for the slot: 0 in the master (the child never returns), -1 on failure.
int SpawnChild(size_t index);
// A child in the first free slot; 0, or -1 (the failure counted).
int SpawnInFreeSlot();
// SpawnChild for the slot; a failure is counted and the next try waits for the timer.
int RespawnChild(size_t index);
// 1 when fewer than the minimum are alive, when none is, when no live child is idle, or when a
// handed-back connection waits for a child.
int NeedMoreChildren();
// One wait on all status pipes and the handling of what arrived: 1 (a flag to act on, with
// honourStop), 0 (time-out) or -1 (poll error or interrupted).
int PollChildren(int honourStop);
// Collects dead children; from the signal handler, the replacements are queued for the loop.
void ReapChildren(int fromSignal);
// Closes the slot's pipes and socket-pair ends, SIGKILLs its child and reaps it.
void KillChild(size_t index, int fromSignal);
// The timer's work: kills children that did not stop in time, asks idle extra children to stop.
void PoolWatchdog();
void SignalAllChildren(int signal);
// The statistics line of the pool.
void PrintPoolStatistics();
// Safe in a signal handler: the master loop prints the statistics at its next turn.
void RequestPoolStatistics();
// Connections handed back and not yet given to a child.
size_t PendingConnectionCount();
// Closes the master's copies of the pending connections (a child holds none of them).
void DropPendingConnections();
