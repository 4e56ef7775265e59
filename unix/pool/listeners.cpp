#include "unix/pool/listeners.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/logwriter.h"
#include "base/messages.h"
#include "unix/config/daemonsettings.h"
#include "unix/config/socketconfig.h"

SockList Listeners;

SockList::~SockList() {
    CloseAll(1, 1);
}

bool SockList::Append(std::unique_ptr<ListeningSocket> socket) {
    if (!socket) return false;
    const uint32_t before = Count();
    if (AddPtr(socket.get()) <= before) return false;
    socket.release();
    return true;
}

ListeningSocket* SockList::At(uint32_t i) const {
    ListNode* node = core_ != nullptr ? core_->head : nullptr;
    for (; node != nullptr && i > 0; --i) node = node->next;
    return node != nullptr ? static_cast<ListeningSocket*>(Stored(node->data)) : nullptr;
}

void SockList::Destroy(ListeningSocket* socket) {
    if (socket == nullptr) return;
    RemovePtr(socket);
    delete socket;
}

void SockList::CloseAll(int shutdownFirst, int unlinkPath) {
    std::vector<ListeningSocket*> all;
    for (uint32_t i = 0; ListeningSocket* s = At(i); ++i) all.push_back(s);
    Clear();
    for (ListeningSocket* s : all) {
        s->Close(shutdownFirst, unlinkPath);
        delete s;
    }
}

void CloseListeners(int shutdownFirst, int unlinkPath) {
    Listeners.CloseAll(shutdownFirst, unlinkPath);
}

namespace {

void Say(uint32_t message) {
    PrintMessage("%s", MessageText(message));
    EndMessageLine(0);
}

void Say(uint32_t message, const char* a) {
    PrintMessage(MessageText(message), a);
    EndMessageLine(0);
}

void Say(uint32_t message, const char* a, const char* b) {
    PrintMessage(MessageText(message), a, b);
    EndMessageLine(0);
}

// What a failed bind left at a Unix-domain path.
enum class PathState { kStale, kGone, kLive, kNotSocket };

// Only a socket file that nobody answers on is stale; a live socket, anything that is not a socket
// and a socket we cannot test stay where they are.
PathState ProbeUnixPath(const char* path) {
    struct stat st {};
    if (lstat(path, &st) != 0) return errno == ENOENT ? PathState::kGone : PathState::kNotSocket;
    if (!S_ISSOCK(st.st_mode)) return PathState::kNotSocket;
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0) return PathState::kLive;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, path, strlen(path) + 1);
    const int result = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int error = errno;
    close(probe);
    if (result == 0) return PathState::kLive;
    if (error == ECONNREFUSED) return PathState::kStale;
    if (error == ENOENT) return PathState::kGone;
    return PathState::kLive; // EAGAIN: a full backlog; EACCES: not ours to judge
}

void OpenUnixListener(const UnixSocketSpec& spec) {
    char path[kUnixSocketPathSize];
    memcpy(path, spec.path, sizeof path);
    path[sizeof path - 1] = '\0';
    auto socket = std::make_unique<ListeningSocket>(kSocketUnix);
    if (socket->SetUnixPath(path) != 0) {
        Say(114, path, strerror(ENAMETOOLONG));
        return;
    }
    if (socket->Create() != 0) {
        Say(112, path);
        return;
    }
    if (socket->BindUnix(spec.mode) != 0) {
        bool bound = false;
        if (socket->ErrorCode() == EADDRINUSE) {
            switch (ProbeUnixPath(path)) {
            case PathState::kStale:
                unlink(path);
                [[fallthrough]];
            case PathState::kGone:
                bound = socket->BindUnix(spec.mode) == 0;
                break;
            case PathState::kLive:
            case PathState::kNotSocket:
                break;
            }
        }
        if (!bound) {
            const int code = socket->ErrorCode();
            socket->Close(0, 0);
            socket->SetError(code, nullptr);
            Say(114, path, socket->ErrorText());
            return;
        }
    }
    if (!socket->OwnsPath()) {
        socket->Close(0, 0);
        Say(138, path);
        return;
    }
    if (socket->Listen(ListenBacklog) != 0) {
        socket->Close(0, 1);
        Say(115, path);
        return;
    }
    if (!Listeners.Append(std::move(socket))) Say(112, path);
}

void OpenInetListener(int32_t port, const char* host) {
    in_addr address{};
    if (!ResolveHost(host, &address)) {
        Say(116, host);
        return;
    }
    sockaddr_in inet{};
    inet.sin_family = AF_INET;
    inet.sin_port = htons(static_cast<uint16_t>(port));
    inet.sin_addr = address;
    auto socket = std::make_unique<ListeningSocket>(kSocketInet);
    socket->SetInetAddress(inet);
    char name[kSocketNameSize];
    socket->Name(name, sizeof name);
    // The older socket syntax takes any number: a port outside 16 bits would bind another port.
    if (port < 1 || port > 65535) {
        Say(114, name, strerror(EINVAL));
        return;
    }
    if (socket->Create() != 0) {
        Say(112, name);
        return;
    }
    if (socket->SetOption(SO_REUSEADDR) != 0) {
        Say(113, name);
        return;
    }
    if (socket->Bind(&inet) != 0) {
        Say(114, name, socket->ErrorText());
        return;
    }
    if (socket->Listen(ListenBacklog) != 0) {
        Say(115, name);
        return;
    }
    if (!Listeners.Append(std::move(socket))) Say(112, name);
}

void PrintActiveInterfaces() {
    PrintMessage("%s:", MessageText(110));
    EndMessageLine(0);
    char name[kSocketNameSize];
    for (uint32_t i = 0; ListeningSocket* s = Listeners.At(i); ++i) {
        PrintMessage("  %s", s->Name(name, sizeof name));
        EndMessageLine(0);
    }
}

} // namespace

int ResolveHost(const char* text, in_addr* address) {
    if (text == nullptr || address == nullptr) return 0;
    if (inet_aton(text, address) != 0) return 1;
    const hostent* entry = gethostbyname(text);
    if (entry != nullptr && entry->h_addrtype == AF_INET && entry->h_length == 4 &&
        entry->h_addr_list != nullptr && entry->h_addr_list[0] != nullptr) {
        memcpy(address, entry->h_addr_list[0], 4);
        return 1;
    }
    Say(114, text, hstrerror(h_errno));
    return 0;
}

int OpenListeningSockets(int firstStart) {
    if (UnixSocketList) {
        for (auto* spec = static_cast<UnixSocketSpec*>(UnixSocketList->First()); spec != nullptr;
             spec = static_cast<UnixSocketSpec*>(UnixSocketList->Next()))
            OpenUnixListener(*spec);
    }
    if (InetSocketList) {
        for (auto* spec = static_cast<InetSocketSpec*>(InetSocketList->First()); spec != nullptr;
             spec = static_cast<InetSocketSpec*>(InetSocketList->Next())) {
            if (spec->hosts == nullptr) continue;
            for (const char* host = spec->hosts; *host != '\0'; host += strlen(host) + 1)
                if (*host != '*') OpenInetListener(spec->port, host);
        }
    }
    std::vector<ListeningSocket*> failed;
    for (uint32_t i = 0; ListeningSocket* s = Listeners.At(i); ++i) {
        if (s->Ready()) continue;
        if (s->AddFlags(O_NONBLOCK) != 0) {
            char name[kSocketNameSize];
            Say(117, s->Name(name, sizeof name));
            failed.push_back(s);
        } else {
            s->SetReady(true);
        }
    }
    for (ListeningSocket* s : failed) Listeners.Destroy(s);
    if (Listeners.Count() == 0) {
        Say(118);
        return -1;
    }
    if (!firstStart) PrintActiveInterfaces();
    return 0;
}
