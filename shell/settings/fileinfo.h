// Facts about a file on disk.
#pragma once

#include <cstdint>

// The size of the file at path (a link's target), 0 when it cannot be read.
uint64_t GetFileSize64(const char* path);
