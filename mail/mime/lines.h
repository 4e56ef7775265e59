// Line ends and folding of header text.
#pragma once

#include <string>
#include <string_view>

// A line end of the input is CR LF, a lone LF or a lone CR; each becomes CR LF, LF or CR, every
// other byte is copied. Return 0; input and output may be the same string.
int ToCrLf(std::string_view in, std::string& out);
int ToLf(std::string_view in, std::string& out);
int ToCr(std::string_view in, std::string& out);

// Refolds the text in place: its words (runs of bytes other than space, TAB, CR, LF) joined by
// single blanks into lines of less than 76 columns, the first line counting offset columns as
// used, the lines joined by CR LF and a blank. A word longer than a line stands alone on its
// line. A text without words becomes empty.
void FoldText(std::string& text, int offset);

// In place: removes every CR and LF; a TAB right after an LF becomes a blank.
void UnfoldText(std::string& text);
