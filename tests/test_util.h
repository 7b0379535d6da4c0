// Small helpers shared by the tests: records built from (offset, text) pairs and cut apart
// again, a recording status sink, host data folders in a fresh temporary folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "records/sink.h"

namespace livrana::test {

// A record of width bytes, spaces except for the given texts at their offsets.
inline std::string Record(std::size_t width,
                          std::initializer_list<std::pair<std::size_t, std::string_view>> fields,
                          char fill = ' ') {
  std::string rec(width, fill);
  for (const auto& [offset, text] : fields) rec.replace(offset, text.size(), text);
  rec.resize(width, fill);
  return rec;
}

// n copies of a character: a field filled to its width.
inline std::string Fill(std::size_t n, char c) { return std::string(n, c); }

// A file's data cut into records of width characters (the last one as long as it is).
inline std::vector<std::string> Split(std::string_view data, std::size_t width) {
  std::vector<std::string> records;
  for (std::size_t at = 0; at < data.size(); at += width)
    records.emplace_back(data.substr(at, width));
  return records;
}

// Writes a whole file through the file system (creating it or emptying it first).
inline bool WriteFile(platform::FileSystem& fs, std::string_view path, std::string_view data) {
  auto file = fs.Open(path, platform::Access::kCreate);
  return file && file->WriteAt(0, data.data(), data.size()) && file->Close();
}

// Writes the files and folders of a snapshot (folders end with a backslash) into fs.
inline bool Restore(platform::FileSystem& fs, const std::map<std::string, std::string>& files) {
  bool ok = true;
  for (const auto& [path, data] : files) {
    if (path.back() == '\\') {
      (void)fs.MakeFolder(path.substr(0, path.size() - 1));
    } else {
      ok = WriteFile(fs, path, data) && ok;
    }
  }
  return ok;
}

// The whole contents of a file, or nothing when it cannot be opened.
inline std::optional<std::string> ReadFile(platform::FileSystem& fs, std::string_view path) {
  auto file = fs.Open(path, platform::Access::kRead);
  if (!file) return std::nullopt;
  std::string data(static_cast<std::size_t>(file->Size().value_or(0)), '\0');
  auto got = file->ReadAt(0, data.data(), data.size());
  if (got < 0) return std::nullopt;
  data.resize(static_cast<std::size_t>(got));
  return data;
}

// A sink that keeps everything a step shows, in order.
class RecordingSink : public Sink {
 public:
  struct Message {
    std::string kind;  // "inform", "fail", "warn", "ask"
    std::string caption, text;
  };

  void Status(std::string_view text) override { statuses.emplace_back(text); }
  void Inform(std::string_view caption, std::string_view text) override {
    messages.push_back({"inform", std::string(caption), std::string(text)});
  }
  void Fail(std::string_view caption, std::string_view text) override {
    messages.push_back({"fail", std::string(caption), std::string(text)});
  }
  void Warn(std::string_view caption, std::string_view text) override {
    messages.push_back({"warn", std::string(caption), std::string(text)});
  }
  bool Ask(std::string_view caption, std::string_view text) override {
    messages.push_back({"ask", std::string(caption), std::string(text)});
    return answer;
  }
  void BeginWait() override { ++wait_depth, ++waits; }
  void EndWait() override { --wait_depth; }
  void Note(std::string_view text) override { notes.emplace_back(text); }
  void Company(std::int64_t index, std::int64_t count) override {
    companies.emplace_back(index, count);
  }

  std::vector<std::string> statuses;
  std::vector<std::pair<std::int64_t, std::int64_t>> companies;  // the loop's progress
  std::vector<Message> messages;
  std::vector<std::string> notes;
  bool answer = false;
  int wait_depth = 0;
  int waits = 0;
};

// A fresh folder below the system temporary folder, removed with everything in it at the
// end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// Every file below a host folder, by relative path with "/" separators, with contents; the
// converter's history (CONVHIST.DAT) is left out.
std::map<std::string, std::string> SnapshotHost(const std::filesystem::path& root);

}  // namespace livrana::test
