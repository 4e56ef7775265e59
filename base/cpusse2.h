// Whether the processor has SSE2, for the routines that look at sixteen bytes at a time: known when
// the program is built for it (every x86-64 build), looked up once at load time on i386, false
// elsewhere. Read before the look-up has run (from another file's static initialisation) it is
// false: the callers then take their plain paths, which answer the same.
#pragma once

#if defined(__SSE2__)
constexpr bool CpuHasSse2 = true;
#elif defined(__i386__)
extern const bool CpuHasSse2;
#else
constexpr bool CpuHasSse2 = false;
#endif
