// The folder of temporary work files.
#pragma once

#include <sys/types.h>

// Takes TempPath (the spool folder when it is empty), expands it and
// creates it with its missing parents; the result becomes the spool folder,
// or "/tmp" when that fails. 1 when TempPath was applied, 0 for "/tmp".
int ApplyTempPath();

// Gives the folders the last ApplyTempPath created to the user the daemon
// is about to run as, through chownFolder; a failure is reported.
void HandOverTempFolders(uid_t uid, gid_t gid, int (*chownFolder)(const char*, uid_t, gid_t));

// 1 when the spool folder can be written by the process as it now runs;
// otherwise says so and answers 0.
int CheckTempPathWritable();
