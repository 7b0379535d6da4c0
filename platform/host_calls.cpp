#include "platform/host_calls.h"

#ifdef LIVRANA_COUNT_HOST_CALLS
namespace livrana::platform {
namespace {

HostCalls* counting = nullptr;

}  // namespace

void CountHostCalls(HostCalls* calls) { counting = calls; }

void NoteHostCall(HostCall kind) {
  if (counting != nullptr) ++counting->counts[static_cast<std::size_t>(kind)];
}

}  // namespace livrana::platform
#endif
