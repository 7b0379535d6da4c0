#include "run/session.h"

namespace livrana {

Session::Session(std::unique_ptr<platform::FileSystem> host, SessionOptions options)
    : host_(std::move(host)), options_(std::move(options)) {
  if (options_.backup) backups_.emplace(*host_);
}

Session::~Session() { (void)Unlock(); }

Outcome Session::Lock() {
  if (lock_) return {};
  return FolderLock::Acquire(*host_, options_.break_lock, &lock_, &holder_);
}

Outcome Session::Run(Sink& sink, const std::function<Outcome(Context&)>& step) {
  if (!lock_) return Outcome::Failed(Operation::kLock, kLockFile, Cause::kOther);
  Context ctx{fs(), sink, options_.company_filter};
  return step(ctx);
}

Outcome Session::Unlock() {
  if (!lock_) return {};
  Outcome released = lock_->Release();
  lock_.reset();
  return released;
}

}  // namespace livrana
