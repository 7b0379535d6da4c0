#include "tests/test_util.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

namespace livrana::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() /
          ("livrana-test-" + std::to_string(stamp) + "-" + std::to_string(rd()) + "-" +
           std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only entries are made writable first, so that nothing is left behind.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::map<std::string, std::string> SnapshotHost(const std::filesystem::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    std::string rel = entry.path().lexically_relative(root).generic_string();
    // The converter's history is its own record of the runs, not part of the data.
    if (rel == "CONVHIST.DAT" || rel == "CONVHIST.NEW") continue;
    if (entry.is_directory()) {
      files[rel + "/"] = "";
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream data;
      data << in.rdbuf();
      files[rel] = data.str();
    }
  }
  return files;
}

}  // namespace livrana::test
