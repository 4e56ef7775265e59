#pragma once
// Settings that the client protocol reads (named after their configuration keys).

// Seconds that the transfers of one command may take; 0 means no limit.
extern int SocketTimeout;
// Log lines of a child start with the client's address and the child's pid.
extern int LogProcessInfo;
