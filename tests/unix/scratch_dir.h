// A fresh folder under /tmp for one test, removed with what it holds.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

class ScratchDir {
public:
    ScratchDir() {
        char tmpl[] = "/tmp/tarvo-test-XXXXXX";
        if (mkdtemp(tmpl)) path_ = tmpl;
    }
    ~ScratchDir() {
        if (!path_.empty()) {
            std::string cmd = "rm -rf '" + path_ + "'";
            if (std::system(cmd.c_str()) != 0) {
            }
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Writes data to name; true on success.
    bool Write(const std::string& name, const std::string& data) const {
        int fd = ::open((*this / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) return false;
        bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
        return ::close(fd) == 0 && ok;
    }
    // A sparse file of the given size; true on success.
    bool Sparse(const std::string& name, long long size) const {
        int fd = ::open((*this / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) return false;
        bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
        return ::close(fd) == 0 && ok;
    }

private:
    std::string path_;
};

} // namespace
