// What a Mac's <fcntl.h> has beyond Linux's. fcntl is the stand-in's, which
// answers F_FULLFSYNC and F_RDAHEAD and passes every other command on.
#pragma once

#include_next <fcntl.h>

#define F_RDAHEAD 45
#define F_FULLFSYNC 51
#define O_SEARCH (O_PATH | O_DIRECTORY)

extern "C" int nimbra_mac_fcntl(int fd, int command, ...);
#define fcntl nimbra_mac_fcntl
