// A file system that passes every call to another one and injects faults: it can stop the
// process's work at the k-th write, rename, close or flush (that operation and every later
// change are refused, as if the process had died there), or answer every write from the
// k-th on with a full disk. The crash tests run a step over it for every k.
#pragma once

#include "platform/forwarding_file_system.h"

namespace livrana::platform {

enum class FaultOp { kWrite, kRename, kClose, kFlush, kCopy };

class FaultFileSystem final : public ForwardingFileSystem {
 public:
  explicit FaultFileSystem(FileSystem& inner) : ForwardingFileSystem(inner) {}

  // Stops at the k-th operation of that kind (counted from 1); 0 never stops. Starts the
  // counts afresh, so one fault file system serves a whole series of runs.
  void StopAt(FaultOp op, long long k) {
    stop_op_ = op;
    stop_at_ = k;
    stopped_ = false;
    for (auto& count : counts_) count = 0;
  }
  // From the k-th write on, every write fails as on a full disk (the process goes on).
  void FullDiskAt(long long k) { full_at_ = k; }
  bool Stopped() const { return stopped_; }
  long long Count(FaultOp op) const { return counts_[static_cast<int>(op)]; }

  // Counts one operation; false when it must not happen.
  bool Allow(FaultOp op);

  std::unique_ptr<File> Open(std::string_view path, Access access) override;
  bool SetReadOnly(std::string_view path, bool read_only) override {
    return !stopped_ && inner_.SetReadOnly(path, read_only);
  }
  bool Rename(std::string_view from, std::string_view to) override {
    return Allow(FaultOp::kRename) && inner_.Rename(from, to);
  }
  bool Copy(std::string_view from, std::string_view to, bool overwrite) override {
    return Allow(FaultOp::kCopy) && inner_.Copy(from, to, overwrite);
  }
  bool Remove(std::string_view path) override { return !stopped_ && inner_.Remove(path); }
  bool MakeFolder(std::string_view path) override { return !stopped_ && inner_.MakeFolder(path); }
  bool RemoveFolder(std::string_view path) override {
    return !stopped_ && inner_.RemoveFolder(path);
  }

 private:
  FaultOp stop_op_ = FaultOp::kWrite;
  long long stop_at_ = 0;
  long long full_at_ = 0;
  bool stopped_ = false;
  long long counts_[5] = {};
};

}  // namespace livrana::platform
