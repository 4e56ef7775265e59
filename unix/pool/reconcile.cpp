#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "base/logwriter.h"
#include "base/messages.h"
#include "base/pathutil.h"
#include "unix/pool/listeners.h"
#include "unix/daemon/pidfile.h"
#include "unix/config/socketconfig.h"
#include "unix/protocol/signalflags.h"

namespace {

// The unix record for this listener's path whose socket file still has the configured mode: removed
// from the list (nothing to open), and the listener stays.
bool KeepUnixListener(const ListeningSocket& socket) {
    if (!UnixSocketList) return false;
    for (uint32_t i = 0; auto* spec = static_cast<UnixSocketSpec*>(UnixSocketList->GetAt(i)); ++i) {
        if (strncmp(spec->path, socket.UnixPath(), sizeof spec->path) != 0) continue;
        struct stat st {};
        if (lstat(spec->path, &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        if ((st.st_mode & 0777) != (spec->mode & 0777)) continue;
        UnixSocketList->RemoveAt(i);
        return true;
    }
    return false;
}

// An inet host that resolves to this listener's address on its port: marked with '*' (nothing to
// open), and the listener stays.
bool KeepInetListener(const ListeningSocket& socket) {
    if (!InetSocketList) return false;
    const sockaddr_in& own = socket.Address().inet;
    for (uint32_t i = 0; auto* spec = static_cast<InetSocketSpec*>(InetSocketList->GetAt(i)); ++i) {
        if (spec->hosts == nullptr || spec->port < 1 || spec->port > 65535) continue;
        if (htons(static_cast<uint16_t>(spec->port)) != own.sin_port) continue;
        for (char* host = spec->hosts; *host != '\0'; host += strlen(host) + 1) {
            if (*host == '*') continue;
            in_addr address{};
            if (ResolveHost(host, &address) && address.s_addr == own.sin_addr.s_addr) {
                *host = '*';
                return true;
            }
        }
    }
    return false;
}

// Records of the lists that still need a listener.
bool RecordsRemain() {
    if (UnixSocketList && UnixSocketList->Count() > 0) return true;
    if (!InetSocketList) return false;
    for (auto* spec = static_cast<InetSocketSpec*>(InetSocketList->First()); spec != nullptr;
         spec = static_cast<InetSocketSpec*>(InetSocketList->Next())) {
        if (spec->hosts == nullptr) continue;
        for (const char* host = spec->hosts; *host != '\0'; host += strlen(host) + 1)
            if (*host != '*') return true;
    }
    return false;
}

} // namespace

int ReconcileListeners(const char* oldPidPath) {
    bool changed = false;
    std::vector<ListeningSocket*> closing;
    for (uint32_t i = 0; ListeningSocket* s = Listeners.At(i); ++i) {
        const bool keep = s->Type() == kSocketUnix ? KeepUnixListener(*s) : KeepInetListener(*s);
        if (!keep) {
            s->SetMark(1);
            closing.push_back(s);
            changed = true;
        }
    }
    for (ListeningSocket* s : closing) {
        Listeners.RemovePtr(s);
        s->Close(1, 1);
        delete s;
    }
    const bool remain = RecordsRemain();
    if (!remain && Listeners.Count() == 0) {
        ReloadFlag = 0;
        PrintMessage("%s", MessageText(118));
        EndMessageLine(0);
        return -1;
    }
    if (remain) {
        if (OpenListeningSockets(0) != 0) {
            ReloadFlag = 0;
            return -1;
        }
        changed = true;
    }
    char pidPath[kPathBufSize];
    ExpandedPidFile(pidPath);
    const bool moved = oldPidPath != nullptr && strcmp(oldPidPath, pidPath) != 0;
    if (!changed && !moved) return 0;
    if (moved && oldPidPath[0] != '\0') unlink(oldPidPath);
    if (WritePidFile(pidPath, getpid()) != 0) {
        ReloadFlag = 0;
        return -1;
    }
    return 0;
}
