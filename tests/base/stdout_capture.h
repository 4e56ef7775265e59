// Sends standard output to an unlinked temporary file while it lives.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class StdoutCapture {
public:
    StdoutCapture() {
        std::fflush(stdout);
        char name[] = "/tmp/tarvo-stdout-XXXXXX";
        fd_ = mkstemp(name);
        if (fd_ < 0) return;
        unlink(name);
        saved_ = dup(STDOUT_FILENO);
        if (saved_ >= 0) dup2(fd_, STDOUT_FILENO);
    }
    ~StdoutCapture() { Stop(); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    bool ok() const { return saved_ >= 0; }

    // Restores standard output; what was written in the meantime.
    std::string Stop() {
        if (saved_ >= 0) {
            std::fflush(stdout);
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
            saved_ = -1;
            lseek(fd_, 0, SEEK_SET);
            char buf[4096];
            for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;) text_.append(buf, static_cast<size_t>(n));
        }
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        return text_;
    }

private:
    int fd_ = -1;
    int saved_ = -1;
    std::string text_;
};

} // namespace
