// The folder of temporary work files.
#pragma once

// Takes TempPath (the spool folder when it is empty), expands it and
// creates it with its missing parents; the result becomes the spool folder,
// or "/tmp" when that fails. 1 when TempPath was applied, 0 for "/tmp".
int ApplyTempPath();
