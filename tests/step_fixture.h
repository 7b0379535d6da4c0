// A data folder in memory for the tests of the conversion steps: files written with the
// folders on their way, whole files read back, safety copies looked up; and the fault
// tests, which run a step again and again, interrupted or short of disk room at each of
// its operations in turn.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/fault_file_system.h"
#include "platform/file_system.h"
#include "platform/memory_file_system.h"
#include "records/context.h"
#include "tests/test_util.h"

namespace livrana::test {

class StepTest : public ::testing::Test {
 protected:
  // Writes a file, creating the folders of its path.
  void Put(std::string_view path, std::string_view data) {
    auto parts = platform::SplitPath(path);
    std::string folder;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      folder += (i ? "\\" : "") + std::string(parts[i]);
      fs.MakeFolder(folder);
    }
    ASSERT_TRUE(WriteFile(fs, path, data)) << path;
  }
  std::string File(std::string_view path) { return ReadFile(fs, path).value_or("<missing>"); }
  // The records of a file that must exist and hold whole records of width characters.
  std::vector<std::string> Records(std::string_view path, std::size_t width) {
    auto data = ReadFile(fs, path);
    EXPECT_TRUE(data.has_value()) << path;
    EXPECT_EQ(data.value_or("").size() % width, 0u) << path;
    return Split(data.value_or(""), width);
  }
  bool Exists(std::string_view path) { return fs.Attributes(path).has_value(); }
  // Whether the file has its (first) safety copy below the temporary folder.
  bool Saved(std::string_view path) {
    return fs.SnapshotOutside().count("/tmp\\Vemo\\Vuk\\" + std::string(path)) == 1;
  }
  // Runs a step as a run of its own: the sink emptied first, the company filter as given,
  // over the data folder or over a file system that wraps it.
  template <class Step>
  auto RunStep(Step&& step, std::string filter = "", platform::FileSystem* over = nullptr) {
    sink = RecordingSink();
    Context run{over != nullptr ? *over : fs, sink, std::move(filter)};
    return step(run);
  }

  // The series of a resumable step: the folder that build(folder) fills, run by step once
  // through a full disk from each write on and once stopped at each write, rename, close,
  // flush and copy in turn. A run that fails has said so, and the next run without faults
  // finishes it; either way the data folder and the safety folder end as one run without
  // faults leaves them (which this runs first over fs).
  template <class Build, class Step>
  void ExpectEveryFaultFinishedByRerun(Build&& build, Step&& step);

  platform::MemoryFileSystem fs;
  RecordingSink sink;
  Context ctx{fs, sink, ""};
};

// What ForEveryFault injects at the k-th operation: the process stopped at the k-th
// operation of a kind, or every write from the k-th on finding the disk full.
struct Fault {
  static Fault StopAt(platform::FaultOp op) { return {op, false}; }
  static Fault FullDisk() { return {platform::FaultOp::kWrite, true}; }
  platform::FaultOp op;
  bool full_disk;
};

// For k = 1, 2, ...: a fresh folder filled by build(folder), a fault file system over it
// armed for k, and check(folder, faults, k), which runs the step through faults and checks
// what it left. The series ends with the first run that met no fault (it was not stopped,
// or every write it made found room), or at the first fatal failure.
template <class Build, class Check>
void ForEveryFault(Fault fault, Build&& build, Check&& check) {
  for (long long k = 1; !::testing::Test::HasFatalFailure(); ++k) {
    platform::MemoryFileSystem folder;
    build(folder);
    if (::testing::Test::HasFatalFailure()) break;
    platform::FaultFileSystem faults(folder);
    if (fault.full_disk) {
      faults.FullDiskAt(k);
    } else {
      faults.StopAt(fault.op, k);
    }
    check(folder, faults, k);
    bool met = fault.full_disk ? faults.Count(platform::FaultOp::kWrite) >= k : faults.Stopped();
    if (!met) break;
  }
}

template <class Build, class Step>
void StepTest::ExpectEveryFaultFinishedByRerun(Build&& build, Step&& step) {
  build(fs);
  ASSERT_TRUE(step(ctx));
  const auto done = fs.Snapshot();
  const auto done_outside = fs.SnapshotOutside();
  std::vector<Fault> faults = {Fault::FullDisk()};
  for (platform::FaultOp op :
       {platform::FaultOp::kWrite, platform::FaultOp::kRename, platform::FaultOp::kClose,
        platform::FaultOp::kFlush, platform::FaultOp::kCopy}) {
    faults.push_back(Fault::StopAt(op));
  }
  for (const Fault& fault : faults) {
    ForEveryFault(
        fault, build,
        [&](platform::MemoryFileSystem& run, platform::FaultFileSystem& faulty, long long k) {
          SCOPED_TRACE(::testing::Message() << "op " << static_cast<int>(fault.op) << " full "
                                            << fault.full_disk << " at " << k);
          Outcome first = RunStep(step, "", &faulty);
          if (first) {
            // Every write it made found room.
            EXPECT_EQ(run.Snapshot(), done);
            return;
          }
          EXPECT_FALSE(sink.messages.empty());
          Context again{run, sink, ""};
          Outcome rerun = step(again);
          ASSERT_TRUE(rerun) << Describe(first) << " / " << Describe(rerun);
          EXPECT_EQ(run.Snapshot(), done);
          EXPECT_EQ(run.SnapshotOutside(), done_outside);
        });
  }
}

}  // namespace livrana::test
