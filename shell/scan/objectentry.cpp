#include "shell/scan/objectentry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "base/filelayer.h"
#include "shell/scan/objectnames.h"

namespace {

FileIdentity IdentityOfStat(const struct stat& st) {
    FileIdentity id;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.known = true;
    return id;
}

// path split into its folder and its last component.
void Split(const std::string& path, std::string* folder, std::string* name) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        *folder = ".";
        *name = path;
    } else {
        *folder = slash == 0 ? "/" : path.substr(0, slash);
        *name = path.substr(slash + 1);
    }
}

} // namespace

FileIdentity IdentityOf(int fd) {
    struct stat st;
    return fd >= 0 && fstat(fd, &st) == 0 ? IdentityOfStat(st) : FileIdentity{};
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.known && b.known && a.dev == b.dev && a.ino == b.ino;
}

int RenameNoReplace(int oldFolder, const char* oldName, int newFolder, const char* newName) {
    if (renameat2(oldFolder, oldName, newFolder, newName, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A new link fails on a taken name just the same.
    if (linkat(oldFolder, oldName, newFolder, newName, 0) != 0) return -1;
    if (unlinkat(oldFolder, oldName, 0) != 0) {
        const int saved = errno;
        unlinkat(newFolder, newName, 0);
        errno = saved == EEXIST ? EIO : saved;
        return -1;
    }
    return 0;
}

ObjectEntry::~ObjectEntry() {
    if (dir_ >= 0) FileClose(dir_);
}

int ObjectEntry::Find(const char* path, const FileIdentity& id, bool followLinks) {
    if (!path || !*path || !id.known) return -1;
    id_ = id;
    path_ = path;
    for (int hop = 0; hop < 2; ++hop) {
        std::string folder;
        Split(path_, &folder, &name_);
        if (name_.empty()) return -1;
        if (dir_ >= 0) FileClose(dir_);
        dir_ = FileOpen(folder.c_str(), O_RDONLY | O_DIRECTORY, 0);
        if (dir_ < 0) return -1;
        struct stat st;
        if (fstatat(dir_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
        if (!S_ISLNK(st.st_mode)) return SameFile(IdentityOfStat(st), id_) ? 0 : -1;
        if (!followLinks || hop) return -1;
        // The action is for the file the scan read through the link.
        char resolved[PATH_MAX];
        if (!realpath(path_.c_str(), resolved)) return -1;
        path_ = resolved;
    }
    return -1;
}

int ObjectEntry::Check() const {
    struct stat st;
    if (dir_ < 0 || fstatat(dir_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
    return SameFile(IdentityOfStat(st), id_) ? 0 : -1;
}

int ObjectEntry::Unlink() const {
    if (Check() != 0) return -1;
    return unlinkat(dir_, name_.c_str(), 0) == 0 ? 0 : -1;
}

int ObjectEntry::RenameUnique(const std::string& wanted, std::string* chosen) {
    std::string folder;
    std::string unused;
    Split(path_, &folder, &unused);
    std::string wantedFolder;
    Split(wanted, &wantedFolder, &unused);
    if (wantedFolder != folder) return -1;
    const auto attempt = [this](const char* candidate) {
        if (Check() != 0) {
            errno = ESTALE;
            return -1;
        }
        std::string folderOf;
        std::string newName;
        Split(candidate, &folderOf, &newName);
        return RenameNoReplace(dir_, name_.c_str(), dir_, newName.c_str());
    };
    std::string name;
    if (TryUniqueNames(wanted, attempt, &name) != 0) return -1;
    path_ = name;
    Split(path_, &folder, &name_);
    if (chosen) *chosen = name;
    return 0;
}

int ObjectEntry::OpenForReading() const {
    if (Check() != 0) return -1;
    // Non-blocking: what took the entry's place could be a pipe.
    const int fd = FileOpen(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (!SameFile(IdentityOf(fd), id_)) {
        FileClose(fd);
        return -1;
    }
    return fd;
}

int ObjectEntry::SetMode(mode_t mode) const {
    const int fd = OpenForReading();
    if (fd < 0) return -1;
    const int set = fchmod(fd, mode);
    FileClose(fd);
    return set == 0 ? 0 : -1;
}
