// The age check of the virus bases against MaxBasesObsolescencePeriod.
#pragma once

#include <cstdint>

// 1 when the update time in the "timestamp" file (beside the first VirusBase
// mask, else in UpdatePath) is more than MaxBasesObsolescencePeriod hours
// before `now`, else 0. A file that cannot be read is reported and counts as
// fresh; a period of 0 reads nothing.
int CheckBasesTimestampAt(int64_t now);
int CheckBasesTimestamp();
