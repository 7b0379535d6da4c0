#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/process.h"

namespace livrana::platform {

int CurrentProcessId() { return static_cast<int>(::getpid()); }

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

bool ProcessAlive(int pid) {
  if (pid <= 0) return false;
  // Signal 0 only asks: EPERM means the process exists but belongs to someone else.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace livrana::platform
