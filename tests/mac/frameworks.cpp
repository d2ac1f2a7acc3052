// AppKit and Security as the installer reaches them, through dlopen and the
// Objective-C runtime (objc4's objc_getClass, sel_registerName,
// objc_msgSend): NSRunningApplication finds an application only in the
// caller's own desktop session, as Launch Services does, and terminate asks
// it to quit (SIGTERM here) and answers YES, or NO when
// NIMBRA_MAC_TERMINATE=refuse. SessionGetInfo grants graphic access in a
// session. The test programs export these (-rdynamic), as a Mac's
// frameworks would provide them.

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "tests/mac/standin.h"

using namespace nimbra::mac;

namespace {

struct Application {
  pid_t pid;
};

char runningApplicationClass;

std::optional<std::string> ownSession() {
  const char* session = std::getenv("NIMBRA_MAC_SESSION");
  if (session == nullptr) return std::nullopt;
  return std::string(session);
}

}  // namespace

extern "C" void* nimbra_mac_dlopen(const char* path, int mode) {
  if (path != nullptr && std::strncmp(path, "/System/Library/Frameworks/", 27) == 0) return ::dlopen(nullptr, mode);
  return ::dlopen(path, mode);
}

extern "C" void* objc_getClass(const char* name) {
  return std::strcmp(name, "NSRunningApplication") == 0 ? &runningApplicationClass : nullptr;
}

extern "C" void* sel_registerName(const char* name) {
  static std::mutex mutex;
  static std::set<std::string> selectors;
  const std::lock_guard lock(mutex);
  return const_cast<char*>(selectors.insert(name).first->c_str());
}

// One entry point for every message, as objc_msgSend is: the receiver, the
// selector, then the arguments in the registers a call puts them in.
extern "C" std::intptr_t objc_msgSend(void* self, const char* selector, std::intptr_t argument) {
  if (self == &runningApplicationClass && std::strcmp(selector, "runningApplicationWithProcessIdentifier:") == 0) {
    const pid_t pid = static_cast<pid_t>(argument);
    const std::optional<Process> process = processOf(pid);
    const std::optional<std::string> session = ownSession();
    if (!process || process->zombie || !session || sessionOf(pid) != session) return 0;  // nil
    return reinterpret_cast<std::intptr_t>(new Application{pid});
  }
  if (std::strcmp(selector, "terminate") == 0) {
    const pid_t pid = static_cast<Application*>(self)->pid;
    const char* answer = std::getenv("NIMBRA_MAC_TERMINATE");
    if (answer != nullptr && std::strcmp(answer, "refuse") == 0) {
      record("terminate " + std::to_string(pid) + " refused");
      return 0;  // NO
    }
    record("terminate " + std::to_string(pid) + " in session " + ownSession().value_or("none"));
    ::kill(pid, SIGTERM);
    return 1;  // YES
  }
  return 0;
}

extern "C" std::int32_t SessionGetInfo(std::uint32_t, std::uint32_t* id, std::uint32_t* attributes) {
  *id = 0;
  *attributes = ownSession() ? 0x0010 : 0;  // sessionHasGraphicAccess
  return 0;
}
