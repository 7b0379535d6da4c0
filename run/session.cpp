#include "run/session.h"

#include "platform/process.h"

namespace livrana {
namespace {

// Passes everything on until the user interrupts the run; from then on every change of a
// file is refused, so that the step stops where its next change would be and leaves what
// it did for the next run to finish.
class StopFileSystem final : public platform::ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;

  static Outcome Refusal(std::string_view path) {
    return Outcome::Failed(Operation::kRun, path, Cause::kInterrupted);
  }
  static bool Stopped() { return platform::Interruption() != 0; }

  using FileSystem::Open;
  std::unique_ptr<platform::File> Open(std::string_view path, platform::Access access,
                                       Outcome& why) override {
    if (access == platform::Access::kRead) return inner_.Open(path, access, why);
    if (Stopped()) {
      why = Refusal(path);
      return nullptr;
    }
    auto file = inner_.Open(path, access, why);
    return file ? std::make_unique<StoppingFile>(std::move(file)) : nullptr;
  }
  Outcome SetReadOnly(std::string_view path, bool read_only) override {
    return Stopped() ? Refusal(path) : inner_.SetReadOnly(path, read_only);
  }
  Outcome Rename(std::string_view from, std::string_view to) override {
    return Stopped() ? Refusal(from) : inner_.Rename(from, to);
  }
  Outcome Replace(std::string_view from, std::string_view to) override {
    return Stopped() ? Refusal(from) : inner_.Replace(from, to);
  }
  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override {
    return Stopped() ? Refusal(to) : inner_.Copy(from, to, overwrite);
  }
  Outcome Remove(std::string_view path) override {
    return Stopped() ? Refusal(path) : inner_.Remove(path);
  }
  Outcome MakeFolder(std::string_view path) override {
    return Stopped() ? Refusal(path) : inner_.MakeFolder(path);
  }
  Outcome RemoveFolder(std::string_view path) override {
    return Stopped() ? Refusal(path) : inner_.RemoveFolder(path);
  }

 private:
  class StoppingFile final : public platform::File {
   public:
    explicit StoppingFile(std::unique_ptr<platform::File> inner) : inner_(std::move(inner)) {}
    std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n) override {
      return inner_->ReadAt(pos, buf, n);
    }
    Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
      return Stopped() ? Refusal("") : inner_->WriteAt(pos, buf, n);
    }
    std::optional<std::uint64_t> Size() override { return inner_->Size(); }
    Outcome Truncate(std::uint64_t size) override {
      return Stopped() ? Refusal("") : inner_->Truncate(size);
    }
    Outcome Sync() override { return inner_->Sync(); }
    Outcome Close() override { return inner_->Close(); }

   private:
    std::unique_ptr<platform::File> inner_;
  };
};

}  // namespace

Session::Session(std::unique_ptr<platform::FileSystem> host, SessionOptions options)
    : host_(std::move(host)), options_(std::move(options)) {
  if (options_.backup) backups_.emplace(*host_);
  if (options_.interruptible) {
    stops_ = std::make_unique<StopFileSystem>(backups_ ? backups_->fs() : *host_);
  }
}

platform::FileSystem& Session::fs() {
  if (stops_) return *stops_;
  return backups_ ? backups_->fs() : *host_;
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
