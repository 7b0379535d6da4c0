// A file system that passes every call to another one and injects faults: it can stop the
// process's work at the k-th write, rename, close or flush (that operation and every later
// change are refused, as if the process had died there), or answer every write from the
// k-th on with a full disk. The crash tests run a step over it for every k. It can also let
// the reads of one file, or the listings of one folder, fail as a device error would.
#pragma once

#include <cerrno>
#include <string>

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
  // Every read of the file at path (as opened from now on) fails with the system's error.
  void FailReads(std::string_view path, int error = EIO) {
    failing_file_ = path;
    read_error_ = error;
  }
  // Every listing of folder ("" for the data folder) fails with the system's error.
  void FailListings(std::string_view folder, int error = EIO) {
    failing_folder_ = folder;
    list_error_ = error;
  }
  bool Stopped() const { return stopped_; }
  long long Count(FaultOp op) const { return counts_[static_cast<int>(op)]; }

  // Counts one operation; false when it must not happen.
  bool Allow(FaultOp op);

  using FileSystem::Open;
  std::unique_ptr<File> Open(std::string_view path, Access access, Outcome& why) override;
  Outcome SetReadOnly(std::string_view path, bool read_only) override {
    if (stopped_) return Stopped(Operation::kAttributes, path);
    return inner_.SetReadOnly(path, read_only);
  }
  Outcome Rename(std::string_view from, std::string_view to) override {
    if (!Allow(FaultOp::kRename)) return Refused(FaultOp::kRename, Operation::kRename, from);
    return inner_.Rename(from, to);
  }
  Outcome Replace(std::string_view from, std::string_view to) override {
    if (!Allow(FaultOp::kRename)) return Refused(FaultOp::kRename, Operation::kRename, from);
    return inner_.Replace(from, to);
  }
  Outcome Copy(std::string_view from, std::string_view to, bool overwrite) override {
    if (!Allow(FaultOp::kCopy)) return Refused(FaultOp::kCopy, Operation::kCopy, from);
    return inner_.Copy(from, to, overwrite);
  }
  Outcome Remove(std::string_view path) override {
    if (stopped_) return Stopped(Operation::kRemove, path);
    return inner_.Remove(path);
  }
  Outcome MakeFolder(std::string_view path) override {
    if (stopped_) return Stopped(Operation::kMakeFolder, path);
    return inner_.MakeFolder(path);
  }
  Outcome RemoveFolder(std::string_view path) override {
    if (stopped_) return Stopped(Operation::kRemoveFolder, path);
    return inner_.RemoveFolder(path);
  }
  using FileSystem::Find;
  std::vector<DirEntry> Find(std::string_view pattern, std::uint32_t mask, Outcome& why) override;

  // What a refused operation gives: after the stop, the process is as good as dead (an
  // input/output error stands for it); a full disk is a full disk.
  Outcome Refused(FaultOp op, Operation operation, std::string_view path) const {
    if (stopped_ || op != FaultOp::kWrite) return Stopped(operation, path);
    return Outcome::Failed(operation, path, Cause::kDiskFull);
  }
  static Outcome Stopped(Operation operation, std::string_view path) {
    return Outcome::Failed(operation, path, Cause::kIo);
  }

 private:
  FaultOp stop_op_ = FaultOp::kWrite;
  long long stop_at_ = 0;
  long long full_at_ = 0;
  bool stopped_ = false;
  long long counts_[5] = {};
  std::string failing_file_;
  int read_error_ = 0;
  std::string failing_folder_;
  int list_error_ = 0;
};

}  // namespace livrana::platform
