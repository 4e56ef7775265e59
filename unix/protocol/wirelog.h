#pragma once
// How the client protocol writes its messages: the process prefix, the text, the line flushed at once.

// Prints one log line: the process prefix, then `fmt` formatted, then the line end; flushed at once.
void LogProtocolLine(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Text of message `number` of the message table.
const char* ProtocolMessage(int number);
