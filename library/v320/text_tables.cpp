#include "library/v320/text_tables.h"

#include <algorithm>
#include <cstring>

namespace livrana {
namespace {

constexpr char kCtrlZ = 0x1A;
// What is read from a file at a time: about the block of the record layer.
constexpr std::size_t kBlockBytes = 256 * 1024;

// The first carriage return or Ctrl-Z byte of [p, p + n), or n.
std::size_t NextSpecial(const char* p, std::size_t n) {
  const void* cr = std::memchr(p, '\r', n);
  std::size_t end = cr == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(cr) - p);
  const void* z = std::memchr(p, kCtrlZ, end);
  return z == nullptr ? end : static_cast<std::size_t>(static_cast<const char*>(z) - p);
}

}  // namespace

Outcome TableSource::Open(platform::FileSystem& fs, std::string_view path) {
  Outcome why;
  file_ = OpenRead(fs, path, FileMode::kBinary, &why);
  return why;
}

bool TableSource::Refill() {
  buffer_.erase(0, at_);
  at_ = 0;
  std::size_t kept = buffer_.size();
  // No more than the file still holds: a small table costs no large buffer.
  std::uint64_t left = file_->Size() - std::min(file_->Size(), file_->Tell());
  std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, left));
  if (want == 0) {
    drained_ = true;
    return false;
  }
  buffer_.resize(kept + want);
  std::size_t got = file_->Read(buffer_.data() + kept, want);
  buffer_.resize(kept + got);
  if (got == 0) drained_ = true;
  return got > 0;
}

bool TableSource::Read(std::size_t n, std::string& out) {
  out.clear();
  while (file_ && out.size() < n && !ended_) {
    // Two bytes at hand where the file has them: a carriage return needs the next one.
    if (buffer_.size() - at_ < 2 && !drained_) Refill();
    std::size_t available = buffer_.size() - at_;
    if (available == 0) break;
    const char* p = buffer_.data() + at_;
    std::size_t span = std::min(n - out.size(), available);
    std::size_t plain = NextSpecial(p, span);
    out.append(p, plain);
    at_ += plain;
    if (plain == span) continue;
    if (p[plain] == kCtrlZ) {
      ended_ = true;
      break;
    }
    if (available - plain < 2 && !drained_) continue;  // the byte after the CR is still to come
    if (plain + 1 < available && p[plain + 1] == '\n') {
      out += '\n';
      at_ += 2;
    } else {
      out += '\r';
      ++at_;
    }
  }
  return !out.empty();
}

Outcome TableSource::Close() { return CloseFile(file_); }

bool TextRecord::ReadAt(std::size_t offset, std::size_t n, std::string& out) const {
  out.clear();
  if (offset >= size_) return false;
  const char* p = bytes_.data() + start_;
  for (std::size_t at = offset; out.size() < n && at < size_; ++at) {
    char c = p[at];
    if (c == kCtrlZ) break;
    if (c == '\r' && at + 1 < size_ && p[at + 1] == '\n') {
      c = '\n';
      ++at;
    }
    out += c;
    if (c == '\n') break;
  }
  return !out.empty();
}

bool TextRecord::WriteInside(std::size_t offset, std::string_view text) {
  if (offset + text.size() > size_) return false;
  // Only the last record of a file can grow: the layouts keep every write, carriage returns
  // included, inside a whole record.
  const bool last = start_ + size_ == bytes_.size();
  std::size_t at = start_ + offset;
  auto put = [&](char c) {
    if (at < bytes_.size()) {
      bytes_[at] = c;
    } else {
      bytes_.push_back(c);
    }
    ++at;
  };
  for (char c : text) {
    if (c == '\n') put('\r');
    put(c);
  }
  if (last) size_ = std::max(size_, at - start_);
  return true;
}

Outcome WalkRecords(RecordFile& in, std::size_t w, RecordFile* out, const RecordEdit& edit) {
  if (w == 0) return {};
  // Whole records, no more than the file holds.
  const std::uint64_t records = (in.Size() + w - 1) / w;
  const std::size_t chunk =
      static_cast<std::size_t>(std::min<std::uint64_t>(std::max<std::size_t>(1, kBlockBytes / w),
                                                       std::max<std::uint64_t>(records, 1))) *
      w;
  std::string bytes;
  bool walking = true;
  std::int64_t r = 0;
  for (;;) {
    bytes.resize(chunk);
    bytes.resize(in.Read(bytes.data(), chunk));
    if (bytes.empty()) break;
    for (std::size_t start = 0; walking && start < bytes.size(); start += w, ++r) {
      TextRecord record(bytes, start, std::min(w, bytes.size() - start));
      walking = edit(r, record);
    }
    if (out != nullptr && !out->Write(bytes)) break;
    if (!walking && out == nullptr) break;
  }
  if (in.Failed()) return in.failure();
  if (out != nullptr && out->Failed()) return out->failure();
  return {};
}

FileHandle OpenForUpdate(platform::FileSystem& fs, std::string_view path, Outcome& why) {
  why = Outcome();
  auto file = fs.Open(path, platform::Access::kReadWrite, why);
  if (!file) {
    why.InFile(path);
    return nullptr;
  }
  return std::make_unique<RecordFile>(std::move(file), path, false, false, FileMode::kBinary);
}

FileHandle AppendTarget(platform::FileSystem& fs, Conversion& conversion, std::string_view path,
                        Outcome& why) {
  why = conversion.Note(path);
  if (!why) return nullptr;
  auto file = fs.Open(path, platform::Access::kOpenAlways, why);
  if (!file) {
    why.InFile(path);
    return nullptr;
  }
  return std::make_unique<RecordFile>(std::move(file), path, true, true, FileMode::kBinary);
}

Outcome RewriteRecords(platform::FileSystem& fs, Conversion& conversion, std::string_view path,
                       std::size_t w, const RecordEdit& edit) {
  Outcome why;
  FileHandle in = OpenForUpdate(fs, path, why);
  if (!in) return why;
  FileHandle out = conversion.Rewrite(path, FileMode::kBinary, &why);
  if (!out) return why;
  in->SetRecordLength(static_cast<std::uint32_t>(w));
  out->SetRecordLength(static_cast<std::uint32_t>(w));
  Outcome walked = WalkRecords(*in, w, out.get(), edit);
  walked.Also(CloseFile(out));
  walked.Also(CloseFile(in));
  return walked;
}

}  // namespace livrana
