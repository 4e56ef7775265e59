// Splitting a multipart body at its boundary delimiters.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A delimiter line found in a body: where it starts (with the line end before it), where the
// line after it starts, and whether it closes the multipart ("--" after the boundary).
struct DwDelimiter {
    size_t start = 0;
    size_t next = 0;
    bool closing = false;
};

// How the rest of a delimiter line after the boundary is read. Mail readers take a line as a
// delimiter only when the boundary is followed by nothing but "--" and blanks; a prefix reader
// ignores whatever follows, so that "--b10" is also a delimiter of "b1".
enum class DwDelimiterMatch { kExact, kPrefix };

// Finds the delimiters of one body in order. The strict form is "--" and the boundary at the
// start of the text or after a line end; when the body holds no strict delimiter at all, the
// boundary alone at the start of a line counts (decided once for the body). An empty boundary
// makes every line "--" a delimiter.
class DwDelimiterFinder {
public:
    DwDelimiterFinder(const std::string& text, const std::string& boundary,
                      DwDelimiterMatch match = DwDelimiterMatch::kExact);
    // The next delimiter at or after pos; false when there is none.
    bool Find(size_t pos, DwDelimiter& delimiter);
    // Lines passed over because the boundary was followed by more than a delimiter may hold: a
    // prefix reader would have split there.
    size_t LooseLines() const { return looseLines_; }

private:
    bool FindForm(size_t pos, const std::string& lead, DwDelimiter& delimiter);
    // Whether what follows the boundary at markEnd ends a delimiter line; closing receives "--".
    bool EndsDelimiter(size_t markEnd, bool* closing) const;

    const std::string& text_;
    const std::string& boundary_;
    DwDelimiterMatch match_;
    bool lenient_ = false;
    size_t looseLines_ = 0;
};

// The preamble, part texts and epilogue of a multipart body. Every delimiter after the first
// opens a part or, written as a closing one, ends the parts; an opening delimiter after a closing
// one starts parts again. Text between a closing delimiter and the next delimiter is kept as a
// part of its own unless it is only blank lines, so that nothing the body holds is lost; the text
// after the last closing delimiter is the epilogue. The first delimiter opens the first part
// whatever its form.
struct MultipartSplitter {
    MultipartSplitter(const std::string& text, const std::string& boundary,
                      DwDelimiterMatch match = DwDelimiterMatch::kExact);

    std::string preamble;
    std::vector<std::string> parts;
    std::string epilogue;
    // Lines that start like a delimiter but are none (see DwDelimiterFinder::LooseLines).
    size_t looseLines = 0;
};
