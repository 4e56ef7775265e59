// Logical lines of the configuration file: physical lines joined where one
// ends in a backslash.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The characters of a configuration text, from an open file or a string. A
// UTF-8 byte-order mark at the very start is skipped.
class ConfigSource {
public:
    // The file stays open and owned by the caller.
    explicit ConfigSource(FILE* file) : file_(file) {}
    explicit ConfigSource(std::string text) : text_(std::move(text)) {}
    ConfigSource(const ConfigSource&) = delete;
    ConfigSource& operator=(const ConfigSource&) = delete;

    // The next byte (0-255), or EOF.
    int Get();

private:
    int Raw();

    FILE* file_ = nullptr;
    std::string text_;
    size_t pos_ = 0;
    bool started_ = false;
    // Bytes read while looking for the byte-order mark, still to be handed
    // out.
    unsigned char pending_[3] = {};
    size_t pendingCount_ = 0;
    size_t pendingPos_ = 0;
};

// Reads one logical line into `line`: physical lines whose trimmed end is a
// backslash lose it and are joined, trimmed, by one blank; the last physical
// line is kept as read, with its line end. `physicalLines` receives the number
// of physical lines used. Returns the length of the line, 0 at end of input.
size_t ReadConfigLine(std::string& line, ConfigSource& source, uint32_t& physicalLines);
