#include "unix/daemon/notifymail.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/logwriter.h"
#include "base/messages.h"
#include "unix/config/daemonsettings.h"
#include "unix/daemon/helperprocess.h"

const char kObsoleteBasesSubject[] = "Your virus bases are obsolete.";
const char kObsoleteBasesBody[] =
    "Dear Administrator,your virus bases are not up to date. Please run updating "
    "script manually or use cron for this purpose.";
int MailCommandTimeoutSeconds = 30;

namespace {

// How often the grandchild looks whether the command has ended.
constexpr int kWaitStepMillis = 20;

void LogMailFailure(const char* text) {
    PrintMessage(MessageText(194), text);
    EndMessageLine(0);
}

int64_t NowMillis() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// What is left of the time limit, at least 0.
int RemainingMillis(int64_t deadline) {
    const int64_t left = deadline - NowMillis();
    if (left <= 0) return 0;
    return left > 1000000000 ? 1000000000 : static_cast<int>(left);
}

[[noreturn]] void ExecCommand(const char* command, int input) {
    if (input != STDIN_FILENO) {
        if (dup2(input, STDIN_FILENO) < 0) _exit(127);
        close(input);
    }
    // Its own group, so that a time-out ends the whole pipeline the shell may start.
    setpgid(0, 0);
    signal(SIGPIPE, SIG_DFL);
    execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
    _exit(127);
}

// Writes the letter to the non-blocking fd until the deadline. A command that stops reading ends
// the letter early; its exit status tells the rest.
void WriteLetter(int fd, const std::string& letter, int64_t deadline, pid_t commandGroup) {
    size_t done = 0;
    while (done < letter.size()) {
        const ssize_t n = write(fd, letter.data() + done, letter.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            const int wait = RemainingMillis(deadline);
            if (wait == 0) OnMailCommandTimeout(commandGroup);
            poll(&p, 1, wait);
            continue;
        }
        return;
    }
}

void LogExitStatus(int status) {
    char text[96];
    if (WIFEXITED(status))
        snprintf(text, sizeof text, "mail command exited with status %d", WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        snprintf(text, sizeof text, "mail command was killed by signal %d", WTERMSIG(status));
    else
        snprintf(text, sizeof text, "mail command ended with status 0x%x", static_cast<unsigned>(status));
    LogMailFailure(text);
}

} // namespace

void BuildMailCommand(const std::string& mailCommand, const char* subject, std::string* command,
                      std::string* subjectHeader) {
    *command = mailCommand;
    const size_t at = command->find("%s");
    if (at != std::string::npos) {
        command->replace(at, 2, std::string("\"") + subject + "\"");
        subjectHeader->clear();
    } else {
        *subjectHeader = std::string("Subject: ") + subject + "\r\n";
    }
}

std::string BuildLetter(const std::string& subjectHeader, const char* body) {
    std::string letter;
    if (!MailTo.empty()) letter += "To: " + MailTo + "\r\n";
    letter += subjectHeader;
    letter += "MIME-Version: 1.0\r\n";
    letter += "Content-Type: text/plain; charset=UTF-8\r\n";
    letter += "\r\n";
    letter += body;
    return letter;
}

int NotifyObsoleteBases() {
    if (MailCommand.empty()) {
        LogMailFailure("no MailCommand is configured, the letter was not sent");
        return 0;
    }
    std::string command;
    std::string subjectHeader;
    BuildMailCommand(MailCommand, kObsoleteBasesSubject, &command, &subjectHeader);
    return SendNotificationMail(command.c_str(), subjectHeader.c_str(), kObsoleteBasesBody);
}

void OnMailCommandTimeout(pid_t commandGroup) {
    if (commandGroup > 0) {
        kill(-commandGroup, SIGKILL);
        kill(commandGroup, SIGKILL);
        int status = 0;
        while (waitpid(commandGroup, &status, 0) < 0 && errno == EINTR) {
        }
    }
    LogMailFailure("timeout for mail command");
    _exit(0);
}

int RunMailCommand(const char* command, const std::string& letter) {
    const int64_t deadline = MailCommandTimeoutSeconds > 0
                                 ? NowMillis() + static_cast<int64_t>(MailCommandTimeoutSeconds) * 1000
                                 : -1;
    // Writing to a command that stopped reading must fail, not end this process.
    signal(SIGPIPE, SIG_IGN);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        LogMailFailure(strerror(errno));
        return -1;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(fds[0]);
        close(fds[1]);
        LogMailFailure(strerror(error));
        return -1;
    }
    if (pid == 0) {
        close(fds[1]);
        ExecCommand(command, fds[0]);
    }
    // Both sides ask, so that the group exists whichever runs first.
    setpgid(pid, pid);
    close(fds[0]);
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    WriteLetter(fds[1], letter, deadline < 0 ? INT64_MAX : deadline, pid);
    close(fds[1]);
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) {
            LogMailFailure(strerror(errno));
            return -1;
        }
        if (deadline >= 0 && RemainingMillis(deadline) == 0) OnMailCommandTimeout(pid);
        poll(nullptr, 0, kWaitStepMillis);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return 0;
    LogExitStatus(status);
    return -1;
}

int SendNotificationMail(const char* command, const char* subjectHeader, const char* body) {
    const std::string letter = BuildLetter(subjectHeader ? subjectHeader : "", body ? body : "");
    const std::string commandLine = command ? command : "";
    sigset_t childSignal;
    sigemptyset(&childSignal);
    sigaddset(&childSignal, SIGCHLD);
    sigset_t saved;
    sigprocmask(SIG_BLOCK, &childSignal, &saved);
    // A pending half line must not be written by the helper too.
    FlushLogLine();
    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        sigprocmask(SIG_SETMASK, &saved, nullptr);
        LogMailFailure(strerror(error));
        return 0;
    }
    if (pid == 0) {
        PrepareHelperProcess();
        const pid_t grandchild = fork();
        if (grandchild < 0) {
            LogMailFailure(strerror(errno));
            _exit(0);
        }
        if (grandchild > 0) _exit(0);
        // Re-parented to init once the first child has ended; out of the terminal's reach.
        setsid();
        RunMailCommand(commandLine.c_str(), letter);
        _exit(0);
    }
    // The caller's mask comes back as it was: a reload holds SIGCHLD back on purpose.
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    int status = 0;
    int failures = 0;
    static const useconds_t kRetryDelays[] = {0, 50, 200};
    for (;;) {
        const pid_t r = waitpid(pid, &status, 0);
        if (r == pid) {
            if (!WIFEXITED(status)) LogMailFailure("the mail sender did not exit normally");
            break;
        }
        if (r < 0 && errno == EINTR) continue;
        if (failures >= 3) break;
        usleep(kRetryDelays[failures++]);
    }
    return 1;
}
