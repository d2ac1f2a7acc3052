// A Mac's <libproc.h>, for the Mac half built here (tests/mac): the calls
// the installer makes, answered over this machine's /proc as libproc and xnu
// answer them. See processes.cpp.
#pragma once

#include "sys/proc_info.h"
#include <sys/types.h>

#define PROC_PIDPATHINFO_MAXSIZE (4 * 1024)

extern "C" int proc_listallpids(void* buffer, int buffersize);
extern "C" int proc_pidinfo(int pid, int flavor, uint64_t arg, void* buffer, int buffersize);
extern "C" int proc_pidpath(int pid, void* buffer, uint32_t buffersize);
