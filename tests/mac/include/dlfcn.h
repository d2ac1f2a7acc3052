// dlopen of a Mac's frameworks (AppKit, Security) answers with the
// stand-ins this program carries (objc_getClass, objc_msgSend,
// SessionGetInfo: see frameworks.cpp); any other library as dlopen does.
#pragma once

#include_next <dlfcn.h>

extern "C" void* nimbra_mac_dlopen(const char* path, int mode);
#define dlopen nimbra_mac_dlopen
