#include "base/findfile.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <memory>
#include <new>

#include "base/filelayer.h"

namespace {

// Masks match bytes, whatever the user's locale: each step of a search runs
// in the "C" locale and puts the caller's back before it returns.
class CLocaleScope {
public:
    CLocaleScope() {
        const char* current = std::setlocale(LC_ALL, nullptr);
        if (current && std::strcmp(current, "C") != 0) {
            saved_ = current;
            switched_ = std::setlocale(LC_ALL, "C") != nullptr;
        }
    }
    ~CLocaleScope() {
        int savedErrno = errno;
        if (switched_) std::setlocale(LC_ALL, saved_.c_str());
        errno = savedErrno;
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    std::string saved_;
    bool switched_ = false;
};

void Release(FindRecord*& record) {
    if (!record) return;
    if (record->dir) {
        closedir(record->dir);
        if (OpenFileCount > 0) --OpenFileCount;
    }
    delete record;
    record = nullptr;
}

void FillEntry(FindRecord& r) {
    r.fullName = r.directory;
    if (r.fullName.empty() || r.fullName.back() != '/') r.fullName += '/';
    r.fullName += r.name;
    r.isLink = 0;
    r.error = 0;
    struct stat st;
    if (lstat(r.fullName.c_str(), &st) != 0) {
        r.error = errno;
        r.size = r.mode = r.targetMode = -1;
        return;
    }
    r.size = static_cast<int64_t>(st.st_size);
    r.mode = r.targetMode = static_cast<int>(st.st_mode);
    if (S_ISLNK(st.st_mode)) {
        r.isLink = 1;
        struct stat target;
        if (stat(r.fullName.c_str(), &target) != 0) {
            r.error = errno;
            r.targetMode = -1;
        } else {
            r.targetMode = static_cast<int>(target.st_mode);
            r.size = static_cast<int64_t>(target.st_size);
        }
    }
    // The whole 64-bit size decides: a 4.5 GiB file is not a 512 MiB one.
    if (r.size > INT64_C(2147483648)) {
        r.size = r.mode = r.targetMode = -1;
        r.error = EOVERFLOW;
    }
}

// Moves to the next entry that matches; "." and ".." are never entries.
bool ReadMatch(FindRecord& r) {
    for (;;) {
        struct dirent* e = readdir(r.dir);
        if (!e) return false;
        const char* n = e->d_name;
        if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0) continue;
        if (fnmatch(r.pattern.c_str(), n, FNM_NOESCAPE) == 0) {
            r.name = n;
            FillEntry(r);
            return true;
        }
    }
}

bool Owns(FindHandle handle, const FindRecord* record) {
    return record && record->dir && reinterpret_cast<FindHandle>(record->dir) == handle;
}

} // namespace

FindHandle FindFirst(const char* path, FindRecord** record) {
    errno = 0;
    if (!record) {
        errno = EINVAL;
        return -1;
    }
    *record = nullptr;
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    if (OpenFileCount >= OpenFileLimit) {
        errno = EMFILE;
        return -1;
    }
    std::unique_ptr<FindRecord> r(new (std::nothrow) FindRecord());
    if (!r) {
        errno = ENOMEM;
        return -1;
    }
    const char* slash = std::strrchr(path, '/');
    if (slash) {
        r->directory.assign(path, slash);
        if (r->directory.empty()) r->directory = "/";
        r->pattern = slash + 1;
    } else {
        r->directory = "./";
        r->pattern = path;
    }
    r->directoryLength = r->directory.size();

    CLocaleScope cLocale;
    r->dir = opendir(r->directory.c_str());
    if (!r->dir) return -1;
    ++OpenFileCount;
    FindRecord* raw = r.release();
    if (!ReadMatch(*raw)) {
        Release(raw);
        errno = ENOENT;
        return -1;
    }
    *record = raw;
    return reinterpret_cast<FindHandle>(raw->dir);
}

int FindNext(FindHandle handle, FindRecord*& record) {
    if (!Owns(handle, record)) return -1;
    CLocaleScope cLocale;
    if (ReadMatch(*record)) return 0;
    Release(record);
    return -1;
}

const char* FindFileName(const FindRecord* record) {
    return record ? record->name.c_str() : nullptr;
}

int FindFileMode(const FindRecord* record) {
    if (!record) return -1;
    if (record->isLink && FollowLinks) return record->targetMode;
    return record->mode;
}

int FindClose(FindHandle handle, FindRecord*& record) {
    if (Owns(handle, record)) Release(record);
    return 0;
}
