// What the data-folder lock needs to know about processes.
#pragma once

#include <string>

namespace livrana::platform {

int CurrentProcessId();
// The name of this machine, as other machines sharing the data folder would see it.
std::string HostName();
// Whether a process with this id runs on this machine.
bool ProcessAlive(int pid);

}  // namespace livrana::platform
