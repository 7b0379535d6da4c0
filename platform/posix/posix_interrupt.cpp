#include <signal.h>

#include <atomic>

#include "platform/process.h"

namespace livrana::platform {
namespace {

std::atomic<int> noted{0};

void Note(int signal) {
  if (noted.exchange(signal) != 0) {
    // The second one: the usual end.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
  }
}

void Handle(void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

void CatchInterrupts() {
  noted = 0;
  Handle(Note);
}

void StopCatchingInterrupts() { Handle(SIG_DFL); }

int Interruption() { return noted.load(); }

}  // namespace livrana::platform
