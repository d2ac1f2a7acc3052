// A Mac's <sys/sysctl.h>, as much as the installer uses: the argument block
// of a process (KERN_PROCARGS2), laid out as xnu lays it out.
#pragma once

#include <stddef.h>
#include <sys/types.h>

#define CTL_KERN 1
#define KERN_ARGMAX 8
#define KERN_PROCARGS2 49

extern "C" int sysctl(int* name, unsigned namelen, void* oldp, size_t* oldlenp, void* newp, size_t newlen);
