#include "base/cpusse2.h"

#if !defined(__SSE2__) && defined(__i386__)
const bool CpuHasSse2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") != 0;
}();
#endif
