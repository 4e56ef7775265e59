// The console and log lines of the mail walk.
#pragma once

#include <string>

// The process prefix of the daemon's per-request lines.
std::string ProcessPrefix();
