#include "unix/daemon/switchuser.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/logwriter.h"
#include "base/messages.h"
#include "unix/config/daemonsettings.h"
#include "unix/daemon/temppath.h"

const SwitchUserCalls kSystemUserSwitchCalls = {::getpwnam, ::chown,  ::setgid, ::initgroups,
                                                ::setuid,   ::getuid, ::geteuid};
SwitchUserCalls UserSwitchCalls = kSystemUserSwitchCalls;

int SwitchUser(int checkOnly) {
    const SwitchUserCalls& sys = UserSwitchCalls;
    if (User[0] == '\0') {
        PrintMessage("No user to run as: the User key is empty!");
        EndMessageLine(0);
        return 0;
    }
    errno = 0;
    const passwd* pw = sys.getpwnam(User);
    if (pw == nullptr) {
        PrintMessage("Can not get information about user '%s'!", User);
        EndMessageLine(0);
        return 0;
    }
    // Copies: the next lookup may overwrite the record.
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    if (!LogToSyslog && LogFileName[0] != '\0' && !checkOnly) {
        if (sys.chown(LogFileName, uid, gid) != 0) {
            PrintMessage("'chown' failed for '%s' - %s", LogFileName, strerror(errno));
            EndMessageLine(0);
        }
    }
    if (!checkOnly) HandOverTempFolders(uid, gid, sys.chown);
    if (sys.setgid(gid) != 0) {
        LogErrorf("setgid(): %s (%s)!", MessageText(147), strerror(errno));
        return 0;
    }
    // Whoever may change the groups must: otherwise the daemon would run with the groups it was
    // started with, root's among them.
    if (sys.getuid() == 0 || sys.geteuid() == 0) {
        if (sys.initgroups(User, gid) != 0) {
            LogErrorf("initgroups(): %s (%s)!", MessageText(147), strerror(errno));
            return 0;
        }
    }
    if (sys.setuid(uid) != 0) {
        LogErrorf("setuid(): %s (%s)!", MessageText(148), strerror(errno));
        return 0;
    }
    return 1;
}
