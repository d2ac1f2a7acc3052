// A Mac's statvfs, which Libc fills from statfs and whose block counts are
// 32 bits wide: past 2^32 blocks they wrap.
#pragma once

#include_next <sys/statvfs.h>

extern "C" int nimbra_mac_statvfs(const char* path, struct statvfs* buffer);
#define statvfs(path, buffer) nimbra_mac_statvfs(path, buffer)
