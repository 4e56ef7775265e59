// Log targets per client type (the ClientsLogs key): "syslog" or a file.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// Keyed by the client's prefix in the key's values ("kerio:", "lotus:",
// "mail:", "smb_glivor:", "tarvodc:", "web:"); an empty target leaves the
// log as it is. Kept across reloads; every ClientsLogs line replaces all six.
extern std::map<std::string, std::string> ClientLogTargets;

// Each entry takes the text after its prefix from the first value that
// begins with the prefix and holds more than blanks. Always 1.
int32_t ParseClientsLogs(const char* const* tokens, int count);
