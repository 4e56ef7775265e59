// unix/protocol: the client protocol on a connection: framing, timed transfers, the command table,
// scan requests and replies, the service commands. Uses base, shell and unix/config.
//
// The command dispatcher of the client protocol: reads one command word and runs its handler.
#pragma once

#include <cstdint>

#include "unix/protocol/budget.h"

// A command's handler: reads the rest of the request and writes the reply under `budget`. Its result is
// what the dispatcher returns: > 0 keeps the connection, anything else closes it.
using CommandHandler = int (*)(int fd, TimeBudget& budget, bool honourStop);

// The handler of a command code, or null when the daemon does not serve it (commands.cpp).
CommandHandler FindCommandHandler(uint32_t code);
using CommandLookup = CommandHandler (*)(uint32_t code);

// The word that answers a command the daemon does not know.
constexpr uint32_t kUnknownCommandReply = 0x00008000;

// Reads one command word from the client and runs it, with a budget of SocketTimeout seconds (0: no
// limit). Returns the handler's result, -2 when no command word could be read or the code is not a
// command (after message 136 and the reply word). The words 0xFFFFFFFE and 0xFFFFFFFF close silently
// (-2 and -1). A handler that runs out of memory (std::bad_alloc) gets "no memory!" in the log and -1.
int DispatchCommand(int fd, bool honourStop);

// The same with another set of commands.
int DispatchCommandWith(CommandLookup lookup, int fd, bool honourStop);
