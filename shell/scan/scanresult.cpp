#include "shell/scan/scanresult.h"

#include "shell/settings/scansettings.h"

bool IsArchiveType(int32_t type) {
    switch (type) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 12:
    case 14:
    case 16:
    case 17:
    case 25:
        return true;
    default:
        return false;
    }
}

bool HasOwnContainerAction(int32_t type) {
    return type >= 0 && type < 32 && ((kContainerOwnActionTypes >> type) & 1u) != 0;
}

int ContainerActionWordFor(int32_t type) {
    if (HasOwnContainerAction(type)) return kContainerActionWord + 2;
    if (type == kMailContainerType) return kContainerActionWord + 1;
    return kContainerActionWord;
}
