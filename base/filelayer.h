// Files opened through this layer are counted against a process-wide budget
// kept below the system limit, so sockets, pipes and the log always find a
// descriptor.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// Descriptors opened here and not yet closed, the most allowed at once, and
// what is held back from the system limit. Tests may set OpenFileLimit; the
// log writer raises it by OpenFileReserve for the span of one write.
extern int32_t OpenFileCount;
extern int32_t OpenFileLimit;
extern int32_t OpenFileReserve;

// Whether modes of symbolic links are those of their targets.
extern int FollowLinks;

// Sizes the budget from the soft RLIMIT_NOFILE (1024 with a reserve of 16
// when it cannot be read).
void InitOpenFileLimit();
// The same from a given soft limit; a negative one counts as unreadable.
void InitOpenFileLimitFor(int64_t softLimit);

// The descriptor, or -1; at the budget limit -1 with errno EMFILE. With
// O_CREAT the file is made with mode 0600.
int FileOpen(const char* path, int flags, int extra);
// Closes fd; only a descriptor this layer counted lowers the count.
int FileClose(int fd);
ssize_t FileRead(int fd, void* buf, size_t len);
ssize_t FileWrite(int fd, const void* buf, size_t len);
off_t FileSeek(int fd, off_t offset, int whence);
// The size in bytes, or -1 when fstat fails.
int64_t FileSize(int fd);

// st_mode of path (of a link's target with FollowLinks), or -1.
int GetFileMode(const char* path);
int IsDirectoryMode(int mode);
unsigned long StrToUL(const char* str, char** end, int base);
int FinishFileCopy(const char* path, int value);
