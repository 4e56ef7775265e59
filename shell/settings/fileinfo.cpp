#include "shell/settings/fileinfo.h"

#include <sys/stat.h>

uint64_t GetFileSize64(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}
