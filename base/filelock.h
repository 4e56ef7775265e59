// Whole-file write locks, for files that several processes append to.
#pragma once

// Locks the whole file open on fd for writing, trying again while another
// process holds it until seconds have passed: 0 when locked, else -1.
int LockFileWait(int fd, int seconds);
// Releases the lock: 0, or -1.
int UnlockFile(int fd);
