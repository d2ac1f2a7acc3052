// A Mac's <sys/clonefile.h>.
#pragma once

#include <stdint.h>

#define CLONE_NOFOLLOW 0x0001
#define CLONE_NOOWNERCOPY 0x0002

extern "C" int fclonefileat(int srcfd, int dst_dirfd, const char* dst, uint32_t flags);
