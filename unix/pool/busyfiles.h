// Busy files: a child of the pool marks itself busy with a file named by the BusyFile path, a dot
// and its pid. Those left by children that died are removed when the daemon starts.
#pragma once

#include <cstddef>

// 1 when name (a file name without folder) is the busy file of some child for busyBase, the file
// name part of the busy-file path: busyBase, '.', then only digits.
int IsBusyFileName(const char* name, const char* busyBase);
// Unlinks every busy file beside busyFilePath (an expanded path); nothing else of the folder, not even
// a file that merely begins with that path. The number of files removed.
int RemoveBusyFiles(const char* busyFilePath);
// RemoveBusyFiles for the expanded BusyFile path; nothing when BusyFile is empty.
void RemoveStaleBusyFiles();
