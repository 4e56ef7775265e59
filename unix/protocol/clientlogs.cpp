#include "unix/protocol/clientlogs.h"

#include <cstring>

#include "base/strutil.h"

std::map<std::string, std::string> ClientLogTargets;

namespace {

const char* const kClientPrefixes[] = {"tarvodc:", "mail:", "web:", "smb_glivor:", "kerio:", "lotus:"};

} // namespace

int32_t ParseClientsLogs(const char* const* tokens, int count) {
    for (const char* prefix : kClientPrefixes) ClientLogTargets[prefix].clear();
    for (auto& entry : ClientLogTargets) {
        const std::string& prefix = entry.first;
        for (int i = 1; i < count; ++i) {
            if (strncmp(tokens[i], prefix.c_str(), prefix.size()) != 0) continue;
            std::string target = tokens[i] + prefix.size();
            TrimWhitespace(target);
            if (!target.empty()) {
                entry.second = target;
                break;
            }
        }
    }
    return 1;
}
