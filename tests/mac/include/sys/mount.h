// A Mac's <sys/mount.h> declares statfs, whose block counts are 64 bits wide.
#pragma once

#include_next <sys/mount.h>
#include <sys/vfs.h>
