#include "platform/fault_file_system.h"

namespace livrana::platform {
namespace {

class FaultFile final : public File {
 public:
  FaultFile(FaultFileSystem& fs, std::unique_ptr<File> inner) : fs_(fs), inner_(std::move(inner)) {}
  ~FaultFile() override { (void)Close(); }

  std::int64_t ReadAt(std::uint64_t pos, char* buf, std::size_t n) override {
    return inner_->ReadAt(pos, buf, n);
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
  return std::make_unique<FaultFile>(*this, std::move(inner));
}

}  // namespace livrana::platform
