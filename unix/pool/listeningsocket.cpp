#include "unix/pool/listeningsocket.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

ListeningSocket::~ListeningSocket() {
    if (fd_ >= 0) {
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
        fd_ = -1;
    }
    if (type_ == kSocketUnix) RemoveOwnPath();
}

int ListeningSocket::BindUnix(uint32_t mode) {
    // The umask gives the socket file its mode as bind creates it: no window with other permissions,
    // and no chmod on a path that may have been swapped for a link since.
    const mode_t saved = umask(static_cast<mode_t>(~mode & 0777));
    const int result = Bind(nullptr);
    umask(saved);
    if (result != 0) return result;
    struct stat st {};
    // Only a socket file with the wanted mode counts as ours (something may have replaced it since).
    if (lstat(UnixPath(), &st) != 0 || !S_ISSOCK(st.st_mode)) return 0;
    if ((st.st_mode & 0777) != (mode & 0777) && chmod(UnixPath(), static_cast<mode_t>(mode & 0777)) != 0)
        return 0;
    ownsPath_ = true;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    return 0;
}

void ListeningSocket::RemoveOwnPath() {
    if (!ownsPath_) return;
    ownsPath_ = false;
    const char* path = UnixPath();
    if (path[0] == '\0') return;
    struct stat st {};
    // Another daemon may have bound the path since: leave its socket alone.
    if (lstat(path, &st) == 0 && S_ISSOCK(st.st_mode) && st.st_dev == device_ && st.st_ino == inode_)
        unlink(path);
}
