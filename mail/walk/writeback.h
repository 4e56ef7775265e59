// Writing a changed mail message: over the mail file, into a temporary file for the client, and the
// backup copy of the file before it changes.
#pragma once

#include <string>

// Replaces the contents of the file at path by data: written to a new file in the same folder, with
// the file's owner, group and permission bits, that is then renamed over it, so that a failed or
// interrupted write leaves the original whole; the folder is synced after the rename. A file whose
// owner or group cannot be given to the new one (a daemon that is not root, a file of another user)
// is left as it was. 0, or -1 with nothing left behind (-1 also when the sync of the folder failed
// after the rename: the new contents may not have reached the disk).
int ReplaceFileContents(const char* path, const std::string& data);

// data into a new temporary file of the host file services; its path into path. 0, or -1 with the
// file removed and path empty.
int WriteTemporaryObject(const std::string& data, std::string& path);

// A copy of the file at path in folder, named after the last component of path, "." and the process
// id; a name that exists gets ".1", ".2" ... after it, so that no earlier backup is overwritten. The
// copy's path into backup; the copy and its folder are synced. 0, or -1 with nothing left behind.
int CreateBackupCopy(const char* path, const char* folder, std::string& backup);
