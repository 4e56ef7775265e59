#include "unix/protocol/servicecommands.h"

#include <arpa/inet.h>
#include <cstring>

#include "base/messages.h"
#include "shell/engine/engines.h"
#include "shell/engine/virbase.h"
#include "unix/protocol/wire.h"

int ServiceReplyResult(int sent, int code) {
    return sent == 0 ? code : -1;
}

int SendProtocolVersion(int fd, TimeBudget& budget, bool honourStop) {
    return ServiceReplyResult(SendWord(htonl(kProtocolVersion), fd, budget, false, honourStop), 2);
}

int SendBaseList(int fd, TimeBudget& budget, bool withHeader) {
    if (SendWord(htonl(LoadedBaseList.Count()), fd, budget, false, false) != 0) return -1;
    const uint32_t count = LoadedBaseList.Count();
    for (uint32_t i = 0; i < count; ++i) {
        const auto* base = static_cast<const LoadedBaseRecord*>(LoadedBaseList.GetAt(i));
        if (!base) return -1;
        const std::string path(base->path, strnlen(base->path, sizeof base->path));
        if (SendString(path.c_str(), fd, budget, false) != 0) return -1;
        if (SendWord(htonl(base->count), fd, budget, false, false) != 0) return -1;
        if (withHeader && SendWord(htonl(base->key4), fd, budget, false, false) != 0) return -1;
    }
    return 0;
}

int SendLoadedBases(int fd, TimeBudget& budget, bool) {
    return ServiceReplyResult(SendBaseList(fd, budget, false), 3);
}

int SendLoadedBasesWithHeaders(int fd, TimeBudget& budget, bool) {
    return ServiceReplyResult(SendBaseList(fd, budget, true), 10);
}

std::string VersionReplyText() {
    std::string text = MessageText(0);
    text += "\n";
    text += MessageText(1);
    text += "\n";
    text += MessageText(150);
    text += ": ";
    text += std::string(EngineVersionText, strnlen(EngineVersionText, sizeof EngineVersionText));
    return text;
}

int SendVersionText(int fd, TimeBudget& budget, bool) {
    return ServiceReplyResult(SendString(VersionReplyText().c_str(), fd, budget, false), 4);
}
