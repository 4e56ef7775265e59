// The text that takes the place of a mail part the scan deleted.
#pragma once

#include <string>

class tvList;

// Where the notice sends its reader.
extern const char kServiceWebAddress[];

// The notice: two lines of its own, the findings (one per line, each ended by LF alone), a framed line
// naming the service.
std::string DeletedPartNotice(tvList& findings);
