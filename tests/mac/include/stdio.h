// What a Mac's <stdio.h> has beyond Linux's.
#pragma once

#include_next <stdio.h>

#define RENAME_EXCL 0x00000004

extern "C" int renameatx_np(int fromfd, const char* from, int tofd, const char* to, unsigned int flags);
