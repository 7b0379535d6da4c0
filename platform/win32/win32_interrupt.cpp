#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

#include "platform/process.h"

namespace livrana::platform {
namespace {

constexpr int kSigInt = 2, kSigTerm = 15;
std::atomic<int> noted{0};

BOOL WINAPI Note(DWORD event) {
  int signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? kSigInt : kSigTerm;
  // The second one: the usual end.
  return noted.exchange(signal) == 0 ? TRUE : FALSE;
}

}  // namespace

void CatchInterrupts() {
  noted = 0;
  SetConsoleCtrlHandler(Note, TRUE);
}

void StopCatchingInterrupts() { SetConsoleCtrlHandler(Note, FALSE); }

int Interruption() { return noted.load(); }

}  // namespace livrana::platform
