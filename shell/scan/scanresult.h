// What a scan reports besides its result bits (engine/tarvo_engine_api.h):
// the scan flags a task collects for the reply, and the groups of container
// types that the limits and the container actions tell apart.
#pragma once

#include <cstdint>

#include "engine/tarvo_engine_api.h"
#include "shell/settings/filetype.h"

// Scan flags of a task besides those of the file-type check.
enum : uint32_t {
    kScanFlagFiltered = 0x1000,      // skipped by the file filter
    kScanFlagTooLarge = 0x2000,      // an object too large to extract
    kScanFlagRatioTooHigh = 0x4000,  // compression ratio too high
    kScanFlagNestingLimit = 0x40000, // nesting limit reached
};

// Container types that count for the nesting limit: 1 to 5, 12, 14, 16, 17, 25.
bool IsArchiveType(int32_t type);
// Types 6, 7, 9, 10, 11, 13, 18, 19 and 21: their own action word, and
// deleted whatever EnableDeleteArchiveAction says.
constexpr uint32_t kContainerOwnActionTypes = 0x2C2EC0;
bool HasOwnContainerAction(int32_t type);
// The mail container type, with its own action word and open switch.
constexpr int32_t kMailContainerType = 8;
// The settings word that holds the action on an infected container of type.
int ContainerActionWordFor(int32_t type);
