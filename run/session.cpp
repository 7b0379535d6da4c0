#include "run/session.h"

#include <set>

#include "platform/cp1252.h"
#include "platform/process.h"

namespace livrana {

// What the steps of a session work through: it counts the files of the data folder that
// they change, and, when the session is interruptible, refuses every change once the user
// has interrupted the run, so that the step stops where its next change would be and
// leaves what it did for the next run to finish.
class Session::RunFileSystem final : public platform::ForwardingFileSystem {
 public:
  RunFileSystem(platform::FileSystem& inner, bool interruptible)
      : ForwardingFileSystem(inner), interruptible_(interruptible) {}

  std::int64_t changed() const { return static_cast<std::int64_t>(changed_.size()); }

  static Outcome Refusal(std::string_view path) {
    return Outcome::Failed(Operation::kRun, path, Cause::kInterrupted);
  }
  bool Stopped() const { return interruptible_ && platform::Interruption() != 0; }
  // Counts a file of the data folder (not the safety folder) as changed.
  void Changes(std::string_view path) {
    if (path.empty() || platform::IsSeparator(path[0]) || (path.size() >= 2 && path[1] == ':'))
      return;
    std::string key;
    for (auto part : platform::SplitPath(path)) {
      key += '\\';
      for (char c : part)
        key += static_cast<char>(platform::FoldCase(static_cast<unsigned char>(c)));
    }
    changed_.insert(std::move(key));
  }

  using FileSystem::Open;
  std::unique_ptr<platform::File> Open(std::string_view path, platform::Access access,
                                       Outcome& why) override {
    if (access == platform::Access::kRead) return inner_.Open(path, access, why);
    if (Stopped()) {
      why = Refusal(path);
      return nullptr;
    }
    auto file = inner_.Open(path, access, why);
    if (!file) return nullptr;
    Changes(path);
    return std::make_unique<StoppingFile>(*this, std::move(file));
  }
  Outcome SetReadOnly(std::string_view path, bool read_only) override {
    return Stopped() ? Refusal(path) : inner_.SetReadOnly(path, read_only);
  }
  Outcome Rename(std::string_view from, std::string_view to) override {
    if (Stopped()) return Refusal(from);
    Changes(from);
    Changes(to);
    return inner_.Rename(from, to);
  }
  Outcome Replace(std::string_view from, std::string_view to) override {
    if (Stopped()) return Refusal(from);
    Changes(to);
    return inner_.Replace(from, to);
  }
  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override {
    if (Stopped()) return Refusal(to);
    Changes(to);
    return inner_.Copy(from, to, overwrite);
  }
  Outcome Remove(std::string_view path) override {
    if (Stopped()) return Refusal(path);
    Changes(path);
    return inner_.Remove(path);
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
    StoppingFile(const RunFileSystem& fs, std::unique_ptr<platform::File> inner)
        : fs_(fs), inner_(std::move(inner)) {}
    std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n) override {
      return inner_->ReadAt(pos, buf, n);
    }
    Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
      return fs_.Stopped() ? Refusal("") : inner_->WriteAt(pos, buf, n);
    }
    std::optional<std::uint64_t> Size() override { return inner_->Size(); }
    Outcome Truncate(std::uint64_t size) override {
      return fs_.Stopped() ? Refusal("") : inner_->Truncate(size);
    }
    Outcome Sync() override { return inner_->Sync(); }
    Outcome Close() override { return inner_->Close(); }

   private:
    const RunFileSystem& fs_;
    std::unique_ptr<platform::File> inner_;
  };

  bool interruptible_;
  std::set<std::string> changed_;  // folded paths
};

Session::Session(std::unique_ptr<platform::FileSystem> host, SessionOptions options)
    : host_(std::move(host)), options_(std::move(options)) {
  if (options_.backup) backups_.emplace(*host_);
  run_fs_ =
      std::make_unique<RunFileSystem>(backups_ ? backups_->fs() : *host_, options_.interruptible);
}

platform::FileSystem& Session::fs() { return *run_fs_; }

std::int64_t Session::FilesChanged() const { return run_fs_->changed(); }

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
