// What the host services need from the scan context that called the engine.
//
// The engine hands back, as the context of every service (and as the task
// argument of the reporting services), the pointer that the scan context
// gave it with its command. That pointer must be the context's HostTask: a
// scan context passes static_cast<HostTask*>(this). Outside a scan it is 0,
// and the services that need a task then do nothing.
#pragma once

#include <cstdint>

#include "engine/tarvo_engine_api.h"

class HostTask {
public:
    virtual ~HostTask() = default;

    // The dispatcher of the engine instance the context borrowed.
    virtual EngineDispatcher HostDispatcher() = 0;
    // The finding's name buffer: TARVO_FINDING_NAME_SIZE bytes.
    virtual char* HostFindingName() = 0;
    // Records the class of the current finding (1..9).
    virtual void HostSetFoundClass(int32_t cls) = 0;
    // Starts the current report line with the object line.
    virtual void HostPrintObjectLine() = 0;
    // Starts the current report line with the object's name alone.
    virtual void HostPrintObjectName() = 0;
    // One container level more: nested names get one more ">".
    virtual void HostRaiseContainerLevel() = 0;
    // Words of the context's settings copy: report packers, open ordinary
    // containers, open mail containers.
    virtual uint32_t HostPackerReportWord() = 0;
    virtual uint32_t HostArchivesWord() = 0;
    virtual uint32_t HostMailFilesWord() = 0;
    // The action gate asked for the cure action, taking the action lock:
    // 1 when the engine may cure the object now, else 0.
    virtual int32_t HostMayCure() = 0;
};
