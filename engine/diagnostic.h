/*
 * The stand-in engine's diagnostic command: it calls one row of the host's
 * services table with the given arguments, from inside the module, and hands
 * the answer back. Tests use it to drive the real table through the real
 * calling convention. Not part of the daemon's contract: the daemon never
 * sends it.
 *
 * dispatcher(context, TARVO_CMD_CALL_HOST_ROW, row, answer, count, a1, ... a6)
 *   row     u32: the row to call
 *   answer  int32_t*: receives the service's answer (a pointer answer as its
 *           32-bit word)
 *   count   u32: how many of a1..a6 follow (at most 6)
 *   a1..a6  u32 words, passed after the dispatcher's own context
 * Answers 0 when the call was made, -1 for a row outside the table, a row
 * without a function, more than 6 words or no answer pointer.
 */
#ifndef TARVO_ENGINE_DIAGNOSTIC_H
#define TARVO_ENGINE_DIAGNOSTIC_H

#define TARVO_CMD_CALL_HOST_ROW 0x7E570001u
#define TARVO_CALL_HOST_ROW_MAX_ARGS 6

#endif /* TARVO_ENGINE_DIAGNOSTIC_H */
