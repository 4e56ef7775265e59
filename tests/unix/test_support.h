// Shared set-up of the daemon tests: a scratch folder, the message table, the log written to a file in
// that folder, and the configured socket lists.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/logwriter.h"
#include "base/messages.h"
#include "base/scratch_dir.h"
#include "base/tvlist.h"
#include "unix/config/socketconfig.h"

namespace {

// Lines go to <scratch>/log without time stamps; nothing is printed on the console.
inline void LogToScratch(const ScratchDir& dir) {
    CreateMessageCatalogue();
    LogToFile = 1;
    LogToSyslog = 0;
    LogTime = 0;
    RunningAsDaemon = 1;
    snprintf(LogFileName, sizeof LogFileName, "%s", (dir / "log").c_str());
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void MakeSpecLists() {
    UnixSocketList = std::make_unique<tvList>();
    InetSocketList = std::make_unique<tvList>();
}

inline void FreeSpecLists() {
    if (InetSocketList) {
        for (auto* spec = static_cast<InetSocketSpec*>(InetSocketList->First()); spec != nullptr;
             spec = static_cast<InetSocketSpec*>(InetSocketList->Next()))
            FreeInetSpec(spec);
    }
    UnixSocketList.reset();
    InetSocketList.reset();
}

inline void AddUnixSpec(const std::string& path, uint32_t mode) {
    UnixSocketSpec spec{};
    snprintf(spec.path, sizeof spec.path, "%s", path.c_str());
    spec.mode = mode;
    UnixSocketList->Add(&spec, sizeof spec);
}

inline void AddInetSpec(int32_t port, const std::vector<const char*>& hosts) {
    InetSocketSpec spec{};
    spec.port = port;
    spec.hosts = MakeHostList(hosts.data(), hosts.size(), &spec.size);
    InetSocketList->Add(&spec, sizeof spec);
}

// A connected client socket, or -1.
inline int ConnectUnix(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

inline int ConnectLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A socket listening on path (another daemon), or -1.
inline int ListenUnix(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A host name that no resolver can answer: its first label is longer than DNS allows, so the lookup
// fails before any query is sent.
inline const char* UnresolvableHost() {
    return "a123456789b123456789c123456789d123456789e123456789f123456789g1234.invalid";
}

} // namespace
