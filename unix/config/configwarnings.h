// The complaints collected while the options were loaded, for start-up.
#pragma once

#include <string>
#include <vector>

// The report lines in the order printed: each bad line (message 49 and its
// line number), message 48 once when any option was invalid, each obsolete
// key (message 195) and each obsolete option (message 196).
std::vector<std::string> ConfigWarningLines();
// Prints those lines, one message line each.
void PrintConfigWarnings();
