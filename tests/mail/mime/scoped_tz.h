// Sets TZ for the life of one object and restores what was there before.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

class ScopedTz {
public:
    // Only saves TZ.
    ScopedTz() {
        const char* old = getenv("TZ");
        hadTz_ = old != nullptr;
        if (old) oldTz_ = old;
    }
    explicit ScopedTz(const char* tz) : ScopedTz() { Use(tz); }
    ScopedTz(const ScopedTz&) = delete;
    ScopedTz& operator=(const ScopedTz&) = delete;
    ~ScopedTz() {
        if (hadTz_)
            setenv("TZ", oldTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static void Use(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    bool hadTz_ = false;
    std::string oldTz_;
};
