// How many times the program called access(): the test program's own access() counts each call and
// asks the kernel as the C library's would.
#pragma once

extern unsigned long AccessCalls;
