// A Mac's <spawn.h>: its flags, and posix_spawn closing every descriptor the
// file actions do not name when POSIX_SPAWN_CLOEXEC_DEFAULT is set.
#pragma once

#include_next <spawn.h>

#undef POSIX_SPAWN_SETSID
#define POSIX_SPAWN_SETSID 0x0400
#define POSIX_SPAWN_CLOEXEC_DEFAULT 0x4000

extern "C" int nimbra_mac_posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions, const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]);
extern "C" int nimbra_mac_posix_spawnattr_setflags(posix_spawnattr_t* attributes, short flags);
extern "C" int nimbra_mac_posix_spawn_file_actions_adddup2(posix_spawn_file_actions_t* actions, int fd, int newfd);
extern "C" int nimbra_mac_posix_spawn_file_actions_addopen(posix_spawn_file_actions_t* actions, int fd, const char* path, int flags, mode_t mode);
extern "C" int posix_spawn_file_actions_addinherit_np(posix_spawn_file_actions_t* actions, int fd);
#define posix_spawn nimbra_mac_posix_spawn
#define posix_spawnattr_setflags nimbra_mac_posix_spawnattr_setflags
#define posix_spawn_file_actions_adddup2 nimbra_mac_posix_spawn_file_actions_adddup2
#define posix_spawn_file_actions_addopen nimbra_mac_posix_spawn_file_actions_addopen
