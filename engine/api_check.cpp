// The engine contract compiled as the daemon's C++: only the header matters.
#include "engine/tarvo_engine_api.h"

#include <cstddef>
#include <type_traits>

static_assert(std::is_trivial<HostServiceRow>::value, "rows are plain data");
static_assert(offsetof(TarvoObjectRecord, name) == 8, "object record layout");
static_assert(offsetof(TarvoObjectRecord, header) == 8 + TARVO_OBJECT_NAME_SIZE, "object record layout");
static_assert(TARVO_HS_NONE_61 == TARVO_HOST_SERVICE_COUNT - 1, "last row");
static_assert(TARVO_API_VERSION_MAJOR_OF(TARVO_API_VERSION(2, 2)) == TARVO_API_VERSION_MAJOR, "version word");
