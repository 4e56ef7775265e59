#include "shell/settings/filetype.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/filelayer.h"
#include "base/logwriter.h"
#include "base/messages.h"
#include "base/pathutil.h"
#include "shell/scan/nameformat.h"
#include "shell/host/objectaccess.h"

namespace {

FileTypeVerdict Unreadable(int error) {
    return {0, 183, kScanFlagNoAttributes, error};
}

bool IsOwnProgram(const char* path) {
    const char* own = ProgramPath();
    return own && *own && std::strcmp(own, path) == 0;
}

} // namespace

FileTypeVerdict ClassifyFileType(const char* path, uint64_t size) {
    if (!path) return Unreadable(EINVAL);
    if (ShellObjectAccess.isMemoryObject && ShellObjectAccess.isMemoryObject(path)) return {0, 0, 0, 0};
    struct stat st;
    if (lstat(path, &st) != 0) return Unreadable(errno);
    if (S_ISLNK(st.st_mode)) {
        if (!FollowLinks && !IsOwnProgram(path)) return {1, 128, kScanFlagLinkSkipped, 0};
        // A followed link is what it points to: a link to a FIFO or a device
        // must not reach the engine, whose open would block or read forever.
        if (stat(path, &st) != 0) return Unreadable(errno);
    }
    if (S_ISDIR(st.st_mode)) return {1, 130, kScanFlagNotRegular, 0};
    if (S_ISSOCK(st.st_mode)) return {1, 131, kScanFlagNotRegular, 0};
    if (S_ISFIFO(st.st_mode)) return {1, 132, kScanFlagNotRegular, 0};
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return {1, 133, kScanFlagNotRegular, 0};
    if (!S_ISREG(st.st_mode)) return {1, 129, kScanFlagNotRegular, 0};
    if (size == 0 && st.st_size > 0) size = static_cast<uint64_t>(st.st_size);
    if (size == 0) return {1, 184, 0, 0};
    return {0, 0, 0, 0};
}

int CheckFileType(const char* path, uint64_t size, int quiet, int printName, uint32_t* flags) {
    FileTypeVerdict v = ClassifyFileType(path, size);
    if (flags) *flags |= v.flags;
    if (v.message == 183) {
        if (!quiet) {
            FormatNameForLog(path);
            PrintMessage(MessageText(183), std::strerror(v.error));
            EndMessageLine(0);
        }
        return 0;
    }
    if (v.message && !quiet) {
        // The name goes through the name formatting: a raw newline in it
        // would start a forged line in the log.
        if (printName && path) {
            char text[kNameTextSize];
            PrintMessage("%s", FormatNameText(path, text, sizeof(text)));
        }
        PrintMessage("%s", MessageText(v.message));
        EndMessageLine(0);
    }
    return v.skip;
}
