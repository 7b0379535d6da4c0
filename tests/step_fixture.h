// A data folder in memory for the tests of the conversion steps: files written with the
// folders on their way, whole files read back, safety copies looked up.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

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
  bool Exists(std::string_view path) { return fs.Attributes(path).has_value(); }
  // Whether the file has its (first) safety copy below the temporary folder.
  bool Saved(std::string_view path) {
    return fs.SnapshotOutside().count("/tmp\\Vemo\\Vuk\\" + std::string(path)) == 1;
  }

  platform::MemoryFileSystem fs;
  RecordingSink sink;
  Context ctx{fs, sink, ""};
};

}  // namespace livrana::test
