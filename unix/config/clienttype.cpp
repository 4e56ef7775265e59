#include "unix/config/clienttype.h"

#include <cstring>
#include <strings.h>

#include "base/logwriter.h"
#include "unix/protocol/clientlogs.h"

int RequestClientType = 0;

namespace {

struct ClientType {
    uint32_t wireCode;
    int internalType;
    const char* name;
};

constexpr ClientType kClientTypes[] = {
    {1, 4, "TarvoDC"}, {2, 3, "SmbGlivor"}, {3, 2, "Web"}, {4, 1, "Mail"}, {5, 5, "Kerio"}, {6, 6, "Lotus"},
};

// The ClientsLogs key of each internal type, by type.
constexpr const char* kClientLogKeys[] = {
    nullptr, "mail:", "web:", "smb_glivor:", "tarvodc:", "kerio:", "lotus:"};

} // namespace

int MapClientType(uint32_t wireCode) {
    for (const ClientType& type : kClientTypes)
        if (type.wireCode == wireCode) return type.internalType;
    return 0;
}

const char* ClientTypeName(int internalType) {
    for (const ClientType& type : kClientTypes)
        if (type.internalType == internalType) return type.name;
    return "Unknown client";
}

void ApplyClientLogSettings() {
    LogClientType = RequestClientType;
    if (RequestClientType <= 0 ||
        RequestClientType >= static_cast<int>(sizeof kClientLogKeys / sizeof *kClientLogKeys))
        return;
    const auto entry = ClientLogTargets.find(kClientLogKeys[RequestClientType]);
    if (entry == ClientLogTargets.end() || entry->second.empty()) return;
    const std::string& target = entry->second;
    if (strcasecmp(target.c_str(), "syslog") == 0) {
        LogToSyslog = 1;
        return;
    }
    // A cut name would be some other file.
    if (target.size() >= sizeof LogFileName) return;
    memcpy(LogFileName, target.c_str(), target.size() + 1);
    LogToSyslog = 0;
}

ClientLogScope::ClientLogScope()
    : toSyslog_(LogToSyslog), clientType_(LogClientType), requestType_(RequestClientType) {
    memcpy(fileName_, LogFileName, sizeof fileName_);
}

ClientLogScope::~ClientLogScope() {
    LogToSyslog = toSyslog_;
    LogClientType = clientType_;
    RequestClientType = requestType_;
    memcpy(LogFileName, fileName_, sizeof fileName_);
}
