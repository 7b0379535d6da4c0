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
  return Format("pid=%d\r\nhost=%s\r\ntime=%s\r\ntask=%s\r\n", h.pid, h.host, h.time, h.task);
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
Outcome Publish(platform::FileSystem& fs, const LockHolder& me) {
  std::string temp = Format("LIVRANA.%d.TMP", me.pid);
  std::string text = Text(me);
  Outcome written;
  auto file = fs.Open(temp, platform::Access::kCreate, written);
  if (file) {
    written = file->WriteAt(0, text.data(), text.size());
    written.Also(file->Close());
    written.InFile(temp);
  }
  file.reset();
  if (written) written = fs.Rename(temp, kLockFile);
  if (!written) (void)fs.Remove(temp);
  return written;
}

// The holder written in a lock file (the lock itself, or the work file of one being taken).
std::optional<LockHolder> ReadHolder(platform::FileSystem& fs, std::string_view path) {
  auto file = fs.Open(path, platform::Access::kRead);
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
  holder.task = Value(text, "task").value_or("");
  return holder;
}

// Removes the work files LIVRANA.<pid>.TMP that converters killed while taking the lock left
// behind: those of this machine whose process no longer runs (also those never written,
// named by a process id that does not run here), and with break_lock every one but ours.
// The work file of a converter on another machine is left to it.
void RemoveStaleWorkFiles(platform::FileSystem& fs, const LockHolder& me, bool break_lock) {
  for (const auto& entry : fs.Find("LIVRANA.*.TMP", 0)) {
    std::string_view name = entry.name;
    std::string_view digits = name.substr(8, name.size() - 12);  // "LIVRANA." ... ".TMP"
    int pid = 0;
    bool numbered = !digits.empty();
    for (char c : digits) {
      numbered = numbered && c >= '0' && c <= '9';
      pid = pid * 10 + (c - '0');
    }
    if (!numbered || pid == me.pid) continue;
    auto holder = ReadHolder(fs, name);
    bool elsewhere = holder && holder->host != me.host;
    if (break_lock || (!elsewhere && !platform::ProcessAlive(pid))) (void)fs.Remove(name);
  }
}

}  // namespace

std::optional<LockHolder> ReadLock(platform::FileSystem& fs) { return ReadHolder(fs, kLockFile); }

Outcome FolderLock::Acquire(platform::FileSystem& fs, std::string_view task, bool break_lock,
                            std::optional<FolderLock>* lock, LockHolder* holder) {
  LockHolder me{platform::CurrentProcessId(), platform::HostName(), NowUtc(), std::string(task)};
  *holder = LockHolder{};
  const Outcome held = Outcome::Failed(Operation::kLock, kLockFile, Cause::kBusy);
  RemoveStaleWorkFiles(fs, me, break_lock);
  for (int attempt = 0; attempt < 2; ++attempt) {
    Outcome published = Publish(fs, me);
    if (published) {
      lock->emplace(FolderLock(fs, me));
      return {};
    }
    if (!fs.Attributes(kLockFile)) {
      return Outcome::Failed(Operation::kLock, kLockFile, published.cause(),
                             published.system_code());
    }
    auto current = ReadLock(fs);
    if (current) *holder = *current;
    bool stale = current && current->host == me.host && current->pid != me.pid &&
                 !platform::ProcessAlive(current->pid);
    if (attempt > 0 || !(break_lock || stale)) return held;
    // Taken over: of several converters doing this at once, the rename lets one win.
    (void)fs.Remove(kLockFile);
  }
  return held;
}

Outcome FolderLock::Release() {
  if (fs_ == nullptr) return {};
  platform::FileSystem& fs = *fs_;
  fs_ = nullptr;
  auto current = ReadLock(fs);
  if (current && current->pid == me_.pid && current->host == me_.host) return fs.Remove(kLockFile);
  return {};
}

}  // namespace livrana
