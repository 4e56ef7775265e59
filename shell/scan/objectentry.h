// The scanned object found again by its path when an action is due: the
// entry of its folder that still is the file the engine read. A link or
// another file put in its place since the scan is refused, never acted on.
#pragma once

#include <sys/types.h>

#include <string>

// Which file a descriptor or a folder entry is.
struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    bool known = false;
};

// The identity of an open descriptor; unknown when it cannot be read.
FileIdentity IdentityOf(int fd);
bool SameFile(const FileIdentity& a, const FileIdentity& b);

// renameat2 with RENAME_NOREPLACE, or a new link and the old one removed
// where the file system has no such rename: 0, or -1 with errno (EEXIST when
// the new name is taken).
int RenameNoReplace(int oldFolder, const char* oldName, int newFolder, const char* newName);

class ObjectEntry {
public:
    ObjectEntry() = default;
    ~ObjectEntry();
    ObjectEntry(const ObjectEntry&) = delete;
    ObjectEntry& operator=(const ObjectEntry&) = delete;

    // Finds path again: 0 when its entry is the file id, or with followLinks
    // a link whose target is; -1 otherwise.
    int Find(const char* path, const FileIdentity& id, bool followLinks);
    // The path of the entry found: the one given, or the link's target.
    const std::string& Path() const { return path_; }

    // Each first checks that the entry still is the file: 0, or -1.
    int Unlink() const;
    // Renames the entry to wanted (a name in the same folder) or, when that
    // is taken, to the first free name after it; never over an existing
    // name. The name chosen goes to chosen.
    int RenameUnique(const std::string& wanted, std::string* chosen);
    // The file opened for reading through the counted file layer, or -1.
    int OpenForReading() const;
    // The file's permission bits set on it by its descriptor.
    int SetMode(mode_t mode) const;

private:
    int Check() const;

    int dir_ = -1;
    std::string path_;
    std::string name_;
    FileIdentity id_;
};
