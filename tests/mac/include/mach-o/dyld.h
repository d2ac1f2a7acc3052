// A Mac's <mach-o/dyld.h>, as much as the installer uses.
#pragma once

#include <stdint.h>

extern "C" int _NSGetExecutablePath(char* buf, uint32_t* bufsize);
