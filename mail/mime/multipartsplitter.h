// Splitting a multipart body at its boundary delimiters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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

// Where "--" begins a line in the text a body is a piece of (DwTextBuffer::DashLines): positions
// in that text, and where the body starts in it.
struct DwDashLines {
    const std::vector<uint32_t>* positions = nullptr;
    size_t base = 0;
};

// Finds the delimiters of one body in order. The strict form is "--" and the boundary at the
// start of the text or after a line end; when the body holds no strict delimiter at all, the
// boundary alone at the start of a line counts (decided once for the body). An empty boundary
// makes every line "--" a delimiter. With the dash lines of the text around, the strict form is
// looked for only there.
class DwDelimiterFinder {
public:
    DwDelimiterFinder(std::string_view text, const std::string& boundary,
                      DwDelimiterMatch match = DwDelimiterMatch::kExact, DwDashLines dashLines = {});
    // The next delimiter at or after pos; false when there is none.
    bool Find(size_t pos, DwDelimiter& delimiter);
    // Lines passed over because the boundary was followed by more than a delimiter may hold: a
    // prefix reader would have split there.
    size_t LooseLines() const { return looseLines_; }

private:
    // strict: "--" and the boundary, else the boundary alone.
    bool FindForm(size_t pos, bool strict, DwDelimiter& delimiter);
    // The strict form after a line end, among the dash lines only.
    bool FindAtDashLines(size_t pos, std::string_view mark, DwDelimiter& delimiter);
    // The delimiter whose line starts at lineStart and whose boundary ends at markEnd, when the rest
    // of its line makes it one.
    bool Take(size_t lineStart, size_t markEnd, DwDelimiter& delimiter);
    // Whether what follows the boundary at markEnd ends a delimiter line; closing receives "--",
    // next where the line after it starts.
    bool EndsDelimiter(size_t markEnd, bool* closing, size_t* next) const;

    std::string_view text_;
    const std::string& boundary_;
    // "--" and the boundary, made once for all the delimiters of the body.
    const std::string strictMark_;
    DwDelimiterMatch match_;
    DwDashLines dashLines_;
    bool lenient_ = false;
    size_t looseLines_ = 0;
    // Where the last search among the dash lines stopped.
    size_t dashCursor_ = 0;
};

// A piece of a text: where it starts and how long it is.
struct DwTextRange {
    size_t offset = 0;
    size_t length = 0;
};

// The preamble, part texts and epilogue of a multipart body. Every delimiter after the first
// opens a part or, written as a closing one, ends the parts; an opening delimiter after a closing
// one starts parts again. Text between a closing delimiter and the next delimiter is kept as a
// part of its own unless it is only blank lines, so that nothing the body holds is lost; the text
// after the last closing delimiter is the epilogue. The first delimiter opens the first part
// whatever its form. Pieces of the text, not copies of it.
struct DwMultipartSplit {
    // With reserve and the dash lines, parts gets room at once for as many parts as the dash lines in
    // the text allow, when that room takes at most an eighth of the text's size: for a caller that
    // holds one split at a time, not one for every level of a nesting.
    DwMultipartSplit(std::string_view text, const std::string& boundary,
                     DwDelimiterMatch match = DwDelimiterMatch::kExact, DwDashLines dashLines = {},
                     bool reserve = false);

    DwTextRange preamble;
    std::vector<DwTextRange> parts;
    DwTextRange epilogue;
    // Lines that start like a delimiter but are none (see DwDelimiterFinder::LooseLines).
    size_t looseLines = 0;
};

// The same split as copies of the pieces.
struct MultipartSplitter {
    MultipartSplitter(const std::string& text, const std::string& boundary,
                      DwDelimiterMatch match = DwDelimiterMatch::kExact);

    std::string preamble;
    std::vector<std::string> parts;
    std::string epilogue;
    // Lines that start like a delimiter but are none (see DwDelimiterFinder::LooseLines).
    size_t looseLines = 0;
};
