#include "platform/fault_file_system.h"

namespace livrana::platform {
namespace {

// Whether two paths name the same entry: the same components, letter case ignored.
bool SamePath(std::string_view a, std::string_view b) {
  auto pa = SplitPath(a), pb = SplitPath(b);
  if (pa.size() != pb.size()) return false;
  for (std::size_t i = 0; i < pa.size(); ++i) {
    if (!SameName(pa[i], pb[i])) return false;
  }
  return true;
}

class FaultFile final : public File {
 public:
  // read_error: the system's error that every read gives; 0 for none.
  FaultFile(FaultFileSystem& fs, std::unique_ptr<File> inner, int read_error)
      : fs_(fs), inner_(std::move(inner)), read_error_(read_error) {}
  ~FaultFile() override { (void)Close(); }

  using File::ReadAt;
  std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n, Outcome& why) override {
    if (read_error_ != 0) {
      why = Outcome::Failed(Operation::kRead, "", CauseOfErrno(read_error_), read_error_);
      return -1;
    }
    return inner_->ReadAt(pos, buf, n, why);
  }
  Outcome WriteAt(std::uint64_t pos, const char* buf, std::size_t n) override {
    if (!fs_.Allow(FaultOp::kWrite)) return fs_.Refused(FaultOp::kWrite, Operation::kWrite, "");
    return inner_->WriteAt(pos, buf, n);
  }
  std::optional<std::uint64_t> Size() override { return inner_->Size(); }
  Outcome Truncate(std::uint64_t size) override {
    if (!fs_.Allow(FaultOp::kWrite)) return fs_.Refused(FaultOp::kWrite, Operation::kTruncate, "");
    return inner_->Truncate(size);
  }
  Outcome Sync() override {
    if (!fs_.Allow(FaultOp::kFlush)) return fs_.Refused(FaultOp::kFlush, Operation::kSync, "");
    return inner_->Sync();
  }
  Outcome Close() override {
    if (closed_) return {};
    closed_ = true;
    bool allowed = fs_.Allow(FaultOp::kClose);
    // The descriptor is released in any case; a refused close reports failure.
    Outcome closed = inner_->Close();
    if (!allowed) return fs_.Refused(FaultOp::kClose, Operation::kClose, "");
    return closed;
  }

 private:
  FaultFileSystem& fs_;
  std::unique_ptr<File> inner_;
  int read_error_;
  bool closed_ = false;
};

}  // namespace

bool FaultFileSystem::Allow(FaultOp op) {
  if (stopped_) return false;
  long long n = ++counts_[static_cast<int>(op)];
  if (op == stop_op_ && stop_at_ > 0 && n >= stop_at_) {
    stopped_ = true;
    return false;
  }
  if (op == FaultOp::kWrite && full_at_ > 0 && n >= full_at_) return false;
  return true;
}

std::unique_ptr<File> FaultFileSystem::Open(std::string_view path, Access access, Outcome& why) {
  if (stopped_ && access != Access::kRead) {
    why = Stopped(Operation::kOpen, path);
    return nullptr;
  }
  auto inner = inner_.Open(path, access, why);
  if (!inner) return nullptr;
  const bool failing = !failing_file_.empty() && SamePath(path, failing_file_);
  return std::make_unique<FaultFile>(*this, std::move(inner), failing ? read_error_ : 0);
}

std::vector<DirEntry> FaultFileSystem::Find(std::string_view pattern, std::uint32_t mask,
                                            Outcome& why) {
  PatternParts parts;
  if (list_error_ != 0 && SplitPattern(pattern, parts) && SamePath(parts.folder, failing_folder_)) {
    why = Outcome::Failed(Operation::kList, failing_folder_.empty() ? Root() : failing_folder_,
                          CauseOfErrno(list_error_), list_error_);
    return {};
  }
  return inner_.Find(pattern, mask, why);
}

}  // namespace livrana::platform
