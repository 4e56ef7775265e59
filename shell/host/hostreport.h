// The reporting services of the host table: findings, packers and the
// engine's questions. Their task argument is the scan context's HostTask
// (shell/host/hosttask.h); a null one makes them do nothing.
#pragma once

#include <cstdint>

#include "base/tvstrlist.h"
#include "engine/tarvo_engine_api.h"

// The findings of the current request: the found list ("class text name"),
// the tagged list ("name,T" with the class's one-letter tag) and a copy of
// the found list. Cleared by the scan task, sent by the scan reply.
extern tvStringList FoundList;
extern tvStringList TaggedList;
extern tvStringList FoundListCopy;
void ClearFoundLists();

// Set when a finding's name ends in ".origin"; the scan task reads and
// clears it.
extern int32_t OriginFlag;

// Class text (a message number) and tag of a finding class; null for a class
// without one.
struct FindingClassText {
    int32_t cls;
    uint32_t message;
    const char* tag;
};
const FindingClassText* FindFindingClass(int32_t cls);

TARVO_ALIGN_STACK int32_t TARVO_CDECL HostVirusFound(void* context, void* task, const char* name,
                                                     uint32_t kind);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostReportPacker(void* context, void* task, const char* name,
                                                       uint32_t flag);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostQuery(void* context, void* task, uint32_t code);
