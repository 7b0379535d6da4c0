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

namespace livrana::platform {

// While a run changes the data folder, the user's interruption (Ctrl-C, SIGINT, SIGTERM;
// on Windows Ctrl-C, Ctrl-Break and closing the console) does not end the process at once:
// it is noted, so that the run stops at its next change of a file, leaves the folder so that
// the next run finishes it, and gives the lock back. A second interruption ends the process
// as usual. StopCatchingInterrupts gives the usual behaviour back.
void CatchInterrupts();
void StopCatchingInterrupts();
// The signal of the interruption noted (2 for Ctrl-C, 15 for a request to terminate);
// 0 while there was none.
int Interruption();

}  // namespace livrana::platform
