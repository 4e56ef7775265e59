#include "unix/config/configsource.h"

namespace {

void Trim(std::string& s) {
    const char* const set = " \t\r\n";
    size_t end = s.find_last_not_of(set);
    if (end == std::string::npos) {
        s.clear();
        return;
    }
    s.erase(end + 1);
    s.erase(0, s.find_first_not_of(set));
}

} // namespace

int ConfigSource::Raw() {
    if (file_) return fgetc(file_);
    if (pos_ >= text_.size()) return EOF;
    return static_cast<unsigned char>(text_[pos_++]);
}

int ConfigSource::Get() {
    if (!started_) {
        started_ = true;
        static const unsigned char kMark[3] = {0xEF, 0xBB, 0xBF};
        while (pendingCount_ < 3) {
            int c = Raw();
            if (c == EOF) break;
            pending_[pendingCount_++] = static_cast<unsigned char>(c);
            if (pending_[pendingCount_ - 1] != kMark[pendingCount_ - 1]) break;
        }
        if (pendingCount_ == 3 && pending_[2] == kMark[2]) pendingCount_ = 0;
    }
    if (pendingPos_ < pendingCount_) return pending_[pendingPos_++];
    return Raw();
}

size_t ReadConfigLine(std::string& line, ConfigSource& source, uint32_t& physicalLines) {
    line.clear();
    physicalLines = 0;
    std::string physical;
    for (;;) {
        physical.clear();
        int c;
        while ((c = source.Get()) != EOF) {
            physical.push_back(static_cast<char>(c));
            if (c == '\n') break;
        }
        if (physical.empty()) break;
        ++physicalLines;
        std::string trimmed = physical;
        Trim(trimmed);
        // A comment never continues onto the next line.
        const bool comment = line.empty() && !trimmed.empty() && trimmed[0] == '#';
        if (!comment && !trimmed.empty() && trimmed.back() == '\\') {
            trimmed.pop_back();
            line += trimmed;
            line += ' ';
            continue;
        }
        line += physical;
        break;
    }
    return line.size();
}
