// Running the real daemon for a test: a scratch folder with its configuration, sockets, pid, busy
// and log files; the launcher started through the emulator when one is needed, as the leader of a
// process group of its own, so that whatever it leaves running can be found (the detached master
// leads a group of its own too). A master in the foreground is the test's child, whose exit status
// the test sees; a detached one is followed by its pid. Every wait is bounded and every process
// started is stopped by its pid.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

// A small file of /proc, read without the allocations of a stream: the tests read them many times a
// second, and the sanitizers' allocator of a 32-bit program under the emulator runs out of room.
inline std::string ReadProcFile(const std::string& path) {
    char buffer[4096];
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::string();
    size_t used = 0;
    for (;;) {
        const ssize_t n = read(fd, buffer + used, sizeof buffer - used);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        used += static_cast<size_t>(n);
        if (used == sizeof buffer) break;
    }
    close(fd);
    return std::string(buffer, used);
}

inline bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

inline int64_t NowMillis() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// How many times what stands in text.
inline size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Polls until done() holds, for at most seconds; true when it held.
inline bool WaitFor(const std::function<bool()>& done, int seconds = 60) {
    const int64_t end = NowMillis() + static_cast<int64_t>(seconds) * 1000;
    while (NowMillis() < end) {
        if (done()) return true;
        poll(nullptr, 0, 50);
    }
    return done();
}

// The fields of /proc/<pid>/stat after the command: state, parent, group, session; false when the
// process is gone.
struct ProcStat {
    char state = '?';
    pid_t parent = 0, group = 0, session = 0;
};
inline bool ReadProcStat(pid_t pid, ProcStat* out) {
    const std::string text = ReadProcFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return false;
    long parent = 0, group = 0, session = 0;
    if (sscanf(text.c_str() + close + 1, " %c %ld %ld %ld", &out->state, &parent, &group, &session) != 4)
        return false;
    out->parent = static_cast<pid_t>(parent);
    out->group = static_cast<pid_t>(group);
    out->session = static_cast<pid_t>(session);
    return true;
}

// Running: there and not a zombie.
inline bool Alive(pid_t pid) {
    ProcStat st;
    return pid > 0 && ReadProcStat(pid, &st) && st.state != 'Z' && st.state != 'X';
}

// Every live process with an argument that contains text.
inline std::vector<pid_t> ProcessesWithArgument(const std::string& text) {
    std::vector<pid_t> out;
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    while (const dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        const pid_t pid = static_cast<pid_t>(atoi(e->d_name));
        const std::string args = ReadProcFile(std::string("/proc/") + e->d_name + "/cmdline");
        if (args.find(text) != std::string::npos && Alive(pid)) out.push_back(pid);
    }
    closedir(proc);
    return out;
}

// Every live process of the given process groups.
inline std::vector<pid_t> ProcessesOfGroups(const std::set<pid_t>& groups) {
    std::vector<pid_t> out;
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    while (const dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        const pid_t pid = static_cast<pid_t>(atoi(e->d_name));
        ProcStat st;
        if (ReadProcStat(pid, &st) && st.state != 'Z' && st.state != 'X' && groups.count(st.group))
            out.push_back(pid);
    }
    closedir(proc);
    return out;
}

// The exit status of a child of ours, or -1 when it did not end in time (it is then killed) or is
// not our child. A death by a signal gives 128 + the signal.
inline int WaitExit(pid_t pid, int seconds = 90) {
    int status = 0;
    pid_t r = 0;
    const bool ended = WaitFor(
        [&] {
            r = waitpid(pid, &status, WNOHANG);
            return r == pid || (r < 0 && errno != EINTR);
        },
        seconds);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    if (r != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// The processes whose parent is pid, from /proc.
inline std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> out;
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    while (const dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        const pid_t pid = static_cast<pid_t>(atoi(e->d_name));
        ProcStat st;
        if (ReadProcStat(pid, &st) && st.state != 'Z' && st.parent == parent) out.push_back(pid);
    }
    closedir(proc);
    return out;
}

// The open descriptors of pid, but one open on the file except names (none when it is empty).
inline int DescriptorCount(pid_t pid, const std::string& except = std::string()) {
    int n = 0;
    bool skipped = false;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(folder.c_str());
    if (!dir) return -1;
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        if (!except.empty() && !skipped) {
            char target[4096];
            const ssize_t length = readlink((folder + "/" + e->d_name).c_str(), target, sizeof target);
            skipped =
                length > 0 && except.compare(0, std::string::npos, target, static_cast<size_t>(length)) == 0;
            if (skipped) continue;
        }
        ++n;
    }
    closedir(dir);
    return n;
}

struct RunResult {
    int status = -1;
    std::string output;
};

// What the descriptors of pid are open on, one a line: for the message of a failed count.
inline std::string DescriptorTargets(pid_t pid) {
    std::string list;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(folder.c_str());
    if (!dir) return "(gone)";
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        char target[4096];
        const ssize_t length = readlink((folder + "/" + e->d_name).c_str(), target, sizeof target);
        list += std::string(e->d_name) + " " + (length > 0 ? std::string(target, length) : "?") + "\n";
    }
    closedir(dir);
    return list;
}

class Daemon {
public:
    Daemon() {
        char tmpl[] = "/tmp/tarvo-e2e-XXXXXX";
        if (mkdtemp(tmpl)) dir_ = tmpl;
        lines_ = {
            "[Daemon]",
            "Socket = local:" + Path("sock"),
            "PidFile = " + Path("tarvod.pid"),
            "BusyFile = " + Path("tarvod.bsy"),
            "LogFileName = " + Path("tarvod.log"),
            "EnginePath = " TARVO_ENGINE_DLL,
            "VirusBase = " TARVO_DEMO_BASE_DIR "/*.vdb",
            "TempPath = " + Path("tmp"),
            "UpdatePath = " + Path("updates"),
            "MaxBasesObsolescencePeriod = 0",
            "User = " + OwnUserName(),
            "ProcessesPool = 2-8, timeout=10",
        };
    }
    ~Daemon() {
        Cleanup();
        if (!dir_.empty() && getenv("TARVO_E2E_KEEP") == nullptr) {
            const std::string cmd = "rm -rf '" + dir_ + "'";
            if (system(cmd.c_str()) != 0) {
            }
        }
    }
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string SocketPath() const { return Path("sock"); }
    std::string PidPath() const { return Path("tarvod.pid"); }
    std::string IniPath() const { return Path("tarvod.ini"); }
    std::string Log() const { return ReadFile(Path("tarvod.log")); }
    // The descriptors pid keeps: its log is opened for each line it writes and closed after it, so a
    // count that took it in would depend on when it was read. A second one open on the log counts.
    int KeptDescriptors(pid_t pid) const { return DescriptorCount(pid, Path("tarvod.log")); }
    // The same once three reads 50 ms apart agree: a process that has just answered may still hold a
    // descriptor of its work for a moment on a loaded machine.
    int SteadyDescriptors(pid_t pid) const {
        std::vector<int> reads;
        WaitFor([&] {
            reads.push_back(KeptDescriptors(pid));
            const size_t n = reads.size();
            return n >= 3 && reads[n - 1] == reads[n - 2] && reads[n - 2] == reads[n - 3];
        });
        return reads.back();
    }

    // The configuration: lines replaced by key (the first word) or added.
    void Set(const std::string& key, const std::string& value) {
        for (auto& line : lines_) {
            if (line.compare(0, key.size() + 1, key + " ") == 0) {
                line = key + " = " + value;
                return;
            }
        }
        lines_.push_back(key + " = " + value);
    }
    void Remove(const std::string& key) {
        for (size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].compare(0, key.size() + 1, key + " ") == 0) lines_.erase(lines_.begin() + i--);
    }
    void AddLine(const std::string& line) { lines_.push_back(line); }
    bool WriteConfig() const {
        std::string text;
        for (const auto& line : lines_) text += line + "\n";
        return WriteFile(IniPath(), text);
    }

    // Starts the program with -ini=<our file> and args; its output goes to a file. The pid.
    pid_t Start(const std::vector<std::string>& args, bool withIni = true) {
        EXPECT_TRUE(WriteConfig());
        std::vector<std::string> argv;
        std::istringstream emulator(TARVOD_EMULATOR);
        for (std::string word; emulator >> word;) argv.push_back(word);
        argv.push_back(TARVOD_PROGRAM);
        if (withIni) argv.push_back("-ini=" + IniPath());
        argv.insert(argv.end(), args.begin(), args.end());
        const std::string out = Path("output." + std::to_string(++runs_));
        outputPath_ = out;
        fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            if (!startFolder_.empty() && chdir(startFolder_.c_str()) != 0) _exit(126);
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int null = open("/dev/null", O_RDONLY);
            if (fd < 0 || null < 0) _exit(126);
            dup2(null, 0);
            dup2(fd, 1);
            dup2(fd, 2);
            std::vector<char*> raw;
            for (auto& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
            raw.push_back(nullptr);
            execv(raw[0], raw.data());
            _exit(127);
        }
        if (pid > 0) {
            setpgid(pid, pid);
            started_.insert(pid);
            groups_.insert(pid);
        }
        return pid;
    }
    std::string Output() const { return ReadFile(outputPath_); }

    // Runs the launcher to its end: its status and output.
    RunResult Run(const std::vector<std::string>& args, bool withIni = true) {
        RunResult r;
        const pid_t pid = Start(args, withIni);
        r.status = WaitExit(pid);
        started_.erase(pid);
        r.output = Output();
        return r;
    }

    // The pid in the first line of the pid file, or 0.
    pid_t PidFromFile() const {
        const std::string text = ReadFile(PidPath());
        return text.empty() ? 0 : static_cast<pid_t>(atol(text.c_str()));
    }

    // Starts the daemon in the background: true when the launcher ended with 0 and the master
    // runs (the master is then Master()).
    bool StartDaemon(const std::vector<std::string>& args = {}) {
        const RunResult r = Run(args);
        startOutput_ = r.output;
        if (r.status != 0) {
            ADD_FAILURE() << "launcher status " << r.status << "\n" << r.output;
            return false;
        }
        master_ = PidFromFile();
        if (master_ <= 0 || !Alive(master_)) {
            ADD_FAILURE() << "no master running; pid file: " << ReadFile(PidPath());
            return false;
        }
        started_.insert(master_);
        groups_.insert(master_);
        foreground_ = false;
        return true;
    }
    const std::string& StartOutput() const { return startOutput_; }

    // The folder the program is started in (the test's own by default).
    void StartIn(const std::string& folder) { startFolder_ = folder; }

    // Starts the daemon in the foreground: the process started is the master.
    bool StartForeground(const std::vector<std::string>& args = {}, bool withIni = true) {
        std::vector<std::string> all = args;
        all.push_back("--foreground=yes");
        master_ = Start(all, withIni);
        foreground_ = true;
        const bool up = WaitFor([&] { return PidFromFile() == master_ && Exists(SocketPath()); });
        if (!up) ADD_FAILURE() << "foreground daemon did not come up\n" << Output();
        return up;
    }
    pid_t Master() const { return master_; }

    // The children of the master (the pool).
    std::vector<pid_t> Pool() const { return master_ > 0 ? ChildrenOf(master_) : std::vector<pid_t>{}; }

    // The master's end: in the foreground its exit status; detached, 0 once it is gone (its status
    // goes to its new parent). -1 when it did not end in time (it is then killed).
    int WaitMaster(int seconds = 90) {
        int status = -1;
        if (foreground_) {
            status = WaitExit(master_, seconds);
        } else if (WaitFor([&] { return !Alive(master_); }, seconds)) {
            status = 0;
        } else {
            kill(master_, SIGKILL);
        }
        started_.erase(master_);
        return status;
    }

    // SIGTERM to the master, then WaitMaster.
    int Stop() {
        if (master_ <= 0) return -1;
        kill(master_, SIGTERM);
        return WaitMaster();
    }

    // How many processes of the daemon still run (in its process groups or started with our
    // configuration), once they had seconds to end.
    int Leftovers(int seconds = 30) {
        size_t left = 0;
        WaitFor(
            [&] {
                left = Remaining().size();
                return left == 0;
            },
            seconds);
        return static_cast<int>(left);
    }
    std::set<pid_t> Remaining() const {
        std::set<pid_t> all;
        for (pid_t pid : ProcessesOfGroups(groups_)) all.insert(pid);
        for (pid_t pid : ProcessesWithArgument("-ini=" + IniPath())) all.insert(pid);
        all.erase(getpid());
        return all;
    }

private:
    static std::string OwnUserName() {
        const uid_t uid = getuid();
        std::ifstream passwd("/etc/passwd");
        for (std::string line; std::getline(passwd, line);) {
            const size_t a = line.find(':');
            const size_t b = a == std::string::npos ? a : line.find(':', a + 1);
            const size_t c = b == std::string::npos ? b : line.find(':', b + 1);
            if (c != std::string::npos && atol(line.c_str() + b + 1) == static_cast<long>(uid))
                return line.substr(0, a);
        }
        return "root";
    }

    // Everything started that still runs is killed by its pid, the daemon's children first.
    void Cleanup() {
        for (pid_t pid : Remaining())
            if (started_.count(pid) == 0) kill(pid, SIGKILL);
        for (pid_t pid : started_) {
            if (!Alive(pid)) continue;
            kill(pid, SIGKILL);
        }
        for (pid_t pid : started_) waitpid(pid, nullptr, WNOHANG);
        for (pid_t pid : started_)
            if (pid != master_ || foreground_) WaitExit(pid, 10);
        started_.clear();
    }

    std::string dir_;
    std::vector<std::string> lines_;
    std::set<pid_t> started_;
    std::set<pid_t> groups_;
    bool foreground_ = false;
    std::string outputPath_;
    std::string startFolder_;
    std::string startOutput_;
    pid_t master_ = 0;
    int runs_ = 0;
};

// The test name of a table's case: its name, with every character but letters and digits as '_'.
template <typename Case> std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p) name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

// A master in the foreground stopped by sig: it ends with 0, says why, and removes its pid file and
// socket.
inline void ExpectStoppedBySignal(Daemon& d, int sig) {
    EXPECT_EQ(d.WaitMaster(), 0) << "signal " << sig << "\n" << d.Log();
    EXPECT_NE(d.Log().find("Shutting down daemon (signal " + std::to_string(sig) + " received)..."),
              std::string::npos)
        << d.Log();
    EXPECT_FALSE(Exists(d.PidPath()));
    EXPECT_FALSE(Exists(d.SocketPath()));
}

} // namespace e2e
