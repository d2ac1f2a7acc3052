// A Mac's <sys/xattr.h>: its calls take an options argument. A Mac's names
// stand here in Linux's user namespace ("user.com.apple.quarantine").
#pragma once

#include_next <sys/xattr.h>

#define XATTR_NOFOLLOW 0x0001

#ifdef __cplusplus
extern "C" {
#endif
ssize_t nimbra_mac_flistxattr(int fd, char* names, size_t size, int options);
int nimbra_mac_fremovexattr(int fd, const char* name, int options);
#ifdef __cplusplus
}
#endif
#define flistxattr nimbra_mac_flistxattr
#define fremovexattr nimbra_mac_fremovexattr
