// Whole-file write locks, taken around each append to a shared file.
#pragma once

// Takes a write lock over the whole of fd, trying again every few
// milliseconds while another process holds it, for up to `seconds` seconds
// (one attempt for 0). 0 when taken, -1 otherwise.
int LockFileWait(int fd, int seconds);
// Releases the lock; 0, or -1 when fcntl fails.
int UnlockFile(int fd);
