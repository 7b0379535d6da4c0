#include "run/session.h"

#include <set>

#include "platform/cp1252.h"
#include "platform/process.h"
#include "records/format.h"
#include "run/history.h"

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
    changed_.insert(platform::FoldedPath(path));
  }

  using FileSystem::Open;
  std::unique_ptr<platform::File> Open(std::string_view path, platform::Access access,
                                       Outcome& why) override {
    if (access == platform::Access::kRead) return inner_.Open(path, access, why);
    if (Stopped()) {
      why = Refusal(path);
      return nullptr;
    }
    // A file created or emptied is changed by the opening; one opened as it is, by its first
    // write.
    auto file = inner_.Open(path, access, why);
    if (!file) return nullptr;
    if (access == platform::Access::kCreate) Changes(path);
    return std::make_unique<StoppingFile>(*this, std::string(path), std::move(file));
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
    StoppingFile(RunFileSystem& fs, std::string path, std::unique_ptr<platform::File> inner)
        : fs_(fs), path_(std::move(path)), inner_(std::move(inner)) {}
    using File::ReadAt;
    std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n, Outcome& why) override {
      return inner_->ReadAt(pos, buf, n, why);
    }
    Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
      if (fs_.Stopped()) return Refusal("");
      Changing();
      return inner_->WriteAt(pos, buf, n);
    }
    std::optional<std::uint64_t> Size() override { return inner_->Size(); }
    Outcome Truncate(std::uint64_t size) override {
      if (fs_.Stopped()) return Refusal("");
      Changing();
      return inner_->Truncate(size);
    }
    Outcome Sync() override { return inner_->Sync(); }
    Outcome Close() override { return inner_->Close(); }

   private:
    void Changing() {
      if (counted_) return;
      counted_ = true;
      fs_.Changes(path_);
    }
    RunFileSystem& fs_;
    std::string path_;
    bool counted_ = false;
    std::unique_ptr<platform::File> inner_;
  };

  bool interruptible_;
  std::set<std::string> changed_;  // folded paths
};

Session::Session(std::unique_ptr<platform::FileSystem> host, SessionOptions options)
    : host_(std::move(host)), options_(std::move(options)) {}

platform::FileSystem& Session::fs() {
  if (run_fs_) return *run_fs_;
  return *host_;
}

std::int64_t Session::FilesChanged() const { return run_fs_ ? run_fs_->changed() : 0; }

Session::~Session() { (void)Unlock(); }

Outcome Session::Lock() {
  if (lock_) return {};
  return FolderLock::Acquire(*host_, options_.task, options_.break_lock, &lock_, &holder_);
}

// Makes the file system the steps work through; with backups, the run's folder and manifest
// first.
Outcome Session::Begin() {
  if (run_fs_) return {};
  if (options_.backup) {
    if (Outcome started = BackedUpRun::Start(*host_, options_.command, &backups_); !started) {
      return started;
    }
  }
  run_fs_ =
      std::make_unique<RunFileSystem>(backups_ ? backups_->fs() : *host_, options_.interruptible);
  return {};
}

Outcome Session::Run(Sink& sink, const std::function<Outcome(Context&)>& work) {
  if (!lock_) return Outcome::Failed(Operation::kLock, kLockFile, Cause::kNotLocked);
  Outcome outcome = Begin();
  if (outcome) {
    sink_ = &sink;
    Context ctx{fs(), sink, options_.company_filter};
    outcome = work(ctx);
    sink_ = nullptr;
  }
  result_.Also(outcome);
  return outcome;
}

Outcome Session::Run(Sink& sink, std::string_view step,
                     const std::function<Outcome(Context&)>& work) {
  Outcome outcome = Run(sink, work);
  if (lock_) {
    sink_ = &sink;
    (void)Record(step, outcome);
    sink_ = nullptr;
  }
  return outcome;
}

Outcome Session::Record(std::string_view step, const Outcome& outcome) {
  if (outcome.cause() == Cause::kNotDataFolder) return {};
  Outcome recorded =
      AppendHistory(*host_, HistoryEntryNow(options_.command, step, outcome, RunId()));
  if (!recorded && sink_ != nullptr) {
    sink_->Warn("Histórico",
                Format("O histórico %s não foi gravado: %s.", kHistoryFile, Describe(recorded)));
  }
  if (backups_ && !finished_) {
    Outcome noted = backups_->StepEnded(step, outcome);
    if (!noted && sink_ != nullptr) sink_->Warn("Cópias de segurança", Sentence(noted));
    recorded.Also(std::move(noted));
  }
  return recorded;
}

Outcome Session::Unlock() {
  Outcome ended;
  if (backups_ && !finished_) {
    ended = backups_->Finish(result_);
    if (ended) ended = backups_->DiscardIfEmpty();
    finished_ = true;
  }
  if (!lock_) return ended;
  Outcome released = lock_->Release();
  lock_.reset();
  return released.Also(std::move(ended));
}

std::vector<RecordedRun> Session::RecordedRuns() { return livrana::RecordedRuns(*host_); }

Outcome Session::RunToUndo(std::string_view id, RecordedRun* run) {
  return livrana::RunToUndo(*host_, id, run);
}

UndoResult Session::UndoRun(std::string_view id) {
  if (!lock_) {
    UndoResult refused;
    refused.outcome = Outcome::Failed(Operation::kLock, kLockFile, Cause::kNotLocked);
    return refused;
  }
  UndoResult result = livrana::UndoRun(*host_, id);
  if (!result.run.id.empty()) {
    HistoryEntry entry = HistoryEntryNow(options_.command, "", result.outcome, result.run.id);
    if (result.outcome) {
      entry.text = Format("%d cópias restauradas e conferidas",
                          static_cast<int>(result.undone.backups.size()));
    }
    (void)AppendHistory(*host_, entry);
  }
  result_.Also(result.outcome);
  return result;
}

}  // namespace livrana
