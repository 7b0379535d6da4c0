#include "run/folder_lock.h"

#include <chrono>
#include <ctime>

#include "platform/process.h"
#include "records/format.h"

namespace livrana {
namespace {

std::string NowUtc() {
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &now);
#else
  gmtime_r(&now, &tm);
#endif
  return Format("%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string Text(const LockHolder& h) {
  return Format("pid=%d\r\nhost=%s\r\ntime=%s\r\n", h.pid, h.host, h.time);
}

std::optional<std::string> Value(std::string_view text, std::string_view key) {
  std::string prefix = std::string(key) + "=";
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with(prefix)) return std::string(line.substr(prefix.size()));
    at = end + 1;
  }
  return std::nullopt;
}

// Writes the holder to a file of its own and renames it to the lock's name: the rename
// never replaces, so of two converters at most one gets the lock, and a lock file is never
// seen half written.
bool Publish(platform::FileSystem& fs, const LockHolder& me) {
  std::string temp = Format("LIVRANA.%d.TMP", me.pid);
  std::string text = Text(me);
  auto file = fs.Open(temp, platform::Access::kCreate);
  bool written = file && file->WriteAt(0, text.data(), text.size()) && file->Close();
  file.reset();
  bool published = written && fs.Rename(temp, kLockFile);
  if (!published) fs.Remove(temp);
  return published;
}

}  // namespace

std::optional<LockHolder> ReadLock(platform::FileSystem& fs) {
  auto file = fs.Open(kLockFile, platform::Access::kRead);
  if (!file) return std::nullopt;
  std::string text(4096, '\0');
  auto got = file->ReadAt(0, text.data(), text.size());
  if (got < 0) return std::nullopt;
  text.resize(static_cast<std::size_t>(got));
  LockHolder holder;
  auto pid = Value(text, "pid");
  auto host = Value(text, "host");
  if (!pid || !host) return std::nullopt;
  try {
    holder.pid = std::stoi(*pid);
  } catch (...) {
    return std::nullopt;
  }
  holder.host = *host;
  holder.time = Value(text, "time").value_or("");
  return holder;
}

FolderLock::Outcome FolderLock::Acquire(platform::FileSystem& fs, bool break_lock,
                                        std::optional<FolderLock>* lock, LockHolder* holder) {
  LockHolder me{platform::CurrentProcessId(), platform::HostName(), NowUtc()};
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (Publish(fs, me)) {
      lock->emplace(FolderLock(fs, me));
      return Outcome::kAcquired;
    }
    if (!fs.Attributes(kLockFile)) return Outcome::kFailed;
    auto current = ReadLock(fs);
    if (current) *holder = *current;
    bool stale = current && current->host == me.host && current->pid != me.pid &&
                 !platform::ProcessAlive(current->pid);
    if (attempt > 0 || !(break_lock || stale)) return Outcome::kHeld;
    // Taken over: of several converters doing this at once, the rename lets one win.
    fs.Remove(kLockFile);
  }
  return Outcome::kHeld;
}

void FolderLock::Release() {
  if (fs_ == nullptr) return;
  auto current = ReadLock(*fs_);
  if (current && current->pid == me_.pid && current->host == me_.host) fs_->Remove(kLockFile);
  fs_ = nullptr;
}

}  // namespace livrana
