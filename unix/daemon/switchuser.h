// The switch from the starting account to the configured User, made once at the first start.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/types.h>

// The system calls of the switch, replaceable by tests.
struct SwitchUserCalls {
    passwd* (*getpwnam)(const char* name);
    int (*chown)(const char* path, uid_t uid, gid_t gid);
    int (*setgid)(gid_t gid);
    int (*initgroups)(const char* name, gid_t gid);
    int (*setuid)(uid_t uid);
    uid_t (*getuid)();
    uid_t (*geteuid)();
};
extern SwitchUserCalls UserSwitchCalls;
// The real system calls.
extern const SwitchUserCalls kSystemUserSwitchCalls;

// Switches group, supplementary groups and user to User; the log file (when logging goes to one and
// this is not a check) and the temporary folders the start created are handed to the user first. 1 on success, 0 on failure after its message. A
// failing initgroups is a failure: the daemon must not keep the groups it started with.
int SwitchUser(int checkOnly);
