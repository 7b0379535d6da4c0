#include "records/record_file.h"

#include <algorithm>
#include <cstring>

namespace livrana {
namespace {

constexpr char kCtrlZ = 0x1A;

}  // namespace

RecordFile::RecordFile(std::unique_ptr<platform::File> file, std::string_view path, bool writable,
                       bool append, FileMode mode)
    : file_(std::move(file)),
      path_(path),
      writable_(writable),
      append_(append),
      mode_(mode),
      capacity_(kBlockBytes) {
  disk_size_ = file_->Size().value_or(0);
}

RecordFile::~RecordFile() { (void)Close(); }  // the owner that cares closes and looks

void RecordFile::Fail(Outcome failure) { failure_.Also(std::move(failure.InFile(path_))); }

void RecordFile::SetRecordLength(std::uint32_t w) {
  if (w == 0) return;
  record_length_ = w;
  Resize();
}

void RecordFile::SetBlockBytes(std::size_t bytes) {
  if (bytes == 0) return;
  block_bytes_ = std::min(bytes, kBlockBytes);
  Resize();
}

void RecordFile::Resize() {
  const std::size_t w = record_length_ == 0 ? 1 : record_length_;
  std::size_t capacity = std::max<std::size_t>(w, (block_bytes_ / w) * w);
  if (capacity == capacity_) return;
  (void)Flush();  // a failure stays in failure_
  loaded_ = false;
  capacity_ = capacity;
  if (allocated_ > capacity_) allocated_ = capacity_;
}

void RecordFile::Reserve(std::size_t n) {
  n = std::min(n, capacity_);
  if (allocated_ >= n) return;
  // Growing goes straight to the whole capacity: a file being written needs it soon.
  std::size_t size = allocated_ == 0 ? n : capacity_;
  auto grown = std::make_unique_for_overwrite<char[]>(size);
  if (loaded_ && block_len_ > 0) std::memcpy(grown.get(), block_.get(), block_len_);
  block_ = std::move(grown);
  allocated_ = size;
}

std::uint64_t RecordFile::Size() const {
  return loaded_ ? std::max(disk_size_, block_start_ + block_len_) : disk_size_;
}

bool RecordFile::Load(std::uint64_t pos) {
  std::uint64_t start = (pos / capacity_) * capacity_;
  if (loaded_ && block_start_ == start) return true;
  (void)Flush();  // a failure stays in failure_
  loaded_ = false;
  // Only what the file holds is asked for: on a file server a read past the end would cost
  // one more round trip (a short read is followed by one that finds the end).
  const std::size_t want =
      start < disk_size_
          ? static_cast<std::size_t>(std::min<std::uint64_t>(capacity_, disk_size_ - start))
          : 0;
  Reserve(want);
  Outcome why;
  std::int64_t got = want == 0 ? 0 : file_->ReadAt(start, block_.get(), want, why);
  if (got < 0) {
    Fail(why.ok() ? Outcome::Failed(Operation::kRead, path_, Cause::kIo) : std::move(why));
    return false;
  }
  block_start_ = start;
  block_len_ = static_cast<std::size_t>(got);
  dirty_lo_ = dirty_hi_ = 0;
  loaded_ = true;
  return true;
}

int RecordFile::PeekByte(std::uint64_t pos) {
  if (pos >= Size() || !Load(pos)) return -1;
  std::size_t off = static_cast<std::size_t>(pos - block_start_);
  if (off >= block_len_) return -1;
  return static_cast<unsigned char>(block_[off]);
}

std::size_t RecordFile::Read(char* buf, std::size_t n) {
  std::size_t done = 0;
  if (mode_ == FileMode::kText) {
    while (done < n) {
      int c = PeekByte(pos_);
      if (c < 0 || c == kCtrlZ) break;
      if (c == '\r' && PeekByte(pos_ + 1) == '\n') {
        c = '\n';
        ++pos_;
      }
      buf[done++] = static_cast<char>(c);
      ++pos_;
    }
    return done;
  }
  while (done < n && pos_ < Size() && Load(pos_)) {
    std::size_t off = static_cast<std::size_t>(pos_ - block_start_);
    if (off >= block_len_) break;
    std::size_t count = std::min(n - done, block_len_ - off);
    std::memcpy(buf + done, block_.get() + off, count);
    done += count;
    pos_ += count;
  }
  return done;
}

std::size_t RecordFile::ReadLine(std::string& out, std::size_t n) {
  out.clear();
  if (mode_ == FileMode::kText) {
    char c;
    while (out.size() < n && Read(&c, 1) == 1) {
      out += c;
      if (c == '\n') break;
    }
    return out.size();
  }
  while (out.size() < n && pos_ < Size() && Load(pos_)) {
    std::size_t off = static_cast<std::size_t>(pos_ - block_start_);
    if (off >= block_len_) break;
    std::size_t count = std::min(n - out.size(), block_len_ - off);
    const char* start = block_.get() + off;
    const void* lf = std::memchr(start, '\n', count);
    if (lf != nullptr) count = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
    out.append(start, count);
    pos_ += count;
    if (lf != nullptr) break;
  }
  return out.size();
}

std::string_view RecordFile::View(std::uint64_t pos, std::size_t n) {
  if (mode_ != FileMode::kBinary || n == 0 || pos >= Size() || !Load(pos)) return {};
  std::size_t off = static_cast<std::size_t>(pos - block_start_);
  if (off > block_len_ || n > block_len_ - off) return {};
  return {block_.get() + off, n};
}

char* RecordFile::Modify(std::uint64_t pos, std::size_t n) {
  if (Failed() || !writable_ || closed_ || append_) return nullptr;
  std::string_view bytes = View(pos, n);
  if (bytes.empty()) return nullptr;
  std::size_t off = static_cast<std::size_t>(pos - block_start_);
  if (dirty_lo_ == dirty_hi_) {
    dirty_lo_ = off;
    dirty_hi_ = off + n;
  } else {
    dirty_lo_ = std::min(dirty_lo_, off);
    dirty_hi_ = std::max(dirty_hi_, off + n);
  }
  return block_.get() + off;
}

bool RecordFile::Write(std::string_view data) {
  if (Failed() || !writable_ || closed_) return false;
  if (append_) pos_ = Size();
  if (mode_ != FileMode::kText) return WriteRaw(data);
  std::string translated;
  translated.reserve(data.size() + 8);
  for (char c : data) {
    if (c == '\n') translated += '\r';
    translated += c;
  }
  return WriteRaw(translated);
}

bool RecordFile::WriteRaw(std::string_view data) {
  while (!data.empty()) {
    if (!Load(pos_) || Failed()) return false;
    std::size_t off = static_cast<std::size_t>(pos_ - block_start_);
    std::size_t count = std::min(data.size(), capacity_ - off);
    Reserve(off + count);
    if (dirty_lo_ == dirty_hi_) dirty_lo_ = dirty_hi_ = std::min(off, block_len_);
    if (off > block_len_) {
      // Writing past the end leaves zero bytes in between, as the system does.
      std::memset(block_.get() + block_len_, 0, off - block_len_);
    }
    std::memcpy(block_.get() + off, data.data(), count);
    dirty_lo_ = std::min(dirty_lo_, std::min(off, block_len_));
    dirty_hi_ = std::max(dirty_hi_, off + count);
    block_len_ = std::max(block_len_, off + count);
    pos_ += count;
    data.remove_prefix(count);
  }
  return true;
}

Outcome RecordFile::Flush() {
  if (!loaded_ || dirty_lo_ == dirty_hi_) return failure_;
  Outcome written = flush_first_ == nullptr ? Outcome() : flush_first_->Flush();
  if (written) {
    written =
        file_->WriteAt(block_start_ + dirty_lo_, block_.get() + dirty_lo_, dirty_hi_ - dirty_lo_);
  }
  if (written) {
    disk_size_ = std::max<std::uint64_t>(disk_size_, block_start_ + dirty_hi_);
  } else {
    // What could not be written is dropped: the file keeps what it held, and the block is
    // read again from the disk when next needed.
    Fail(std::move(written));
    loaded_ = false;
  }
  dirty_lo_ = dirty_hi_ = 0;
  return failure_;
}

Outcome RecordFile::Truncate(std::uint64_t size) {
  if (!writable_) return Outcome::Failed(Operation::kTruncate, path_, Cause::kPermission);
  if (Outcome flushed = Flush(); !flushed) return flushed;
  loaded_ = false;
  if (Outcome cut = file_->Truncate(size); !cut) {
    Fail(std::move(cut));
    return failure_;
  }
  disk_size_ = size;
  return {};
}

Outcome RecordFile::Sync() {
  if (Outcome flushed = Flush(); !flushed) return flushed;
  if (Outcome synced = file_->Sync(); !synced) Fail(std::move(synced));
  return failure_;
}

Outcome RecordFile::Close() {
  if (closed_) return failure_;
  (void)Flush();  // a failure stays in failure_
  closed_ = true;
  loaded_ = false;
  if (Outcome closed = file_->Close(); !closed) Fail(std::move(closed));
  return failure_;
}

bool MakeWritable(platform::FileSystem& fs, std::string_view path) {
  auto attributes = fs.Attributes(path);
  return attributes && (*attributes & platform::kReadOnly) != 0 && fs.SetReadOnly(path, false).ok();
}

namespace {

FileHandle Open(platform::FileSystem& fs, std::string_view path, platform::Access access,
                bool writable, bool append, FileMode mode, Outcome* why) {
  Outcome refused;
  auto file = fs.Open(path, access, refused);
  // A binary opening that writes clears the read-only attribute. Only an opening that was
  // refused can have met it (the file systems refuse writes to read-only files), so the
  // attribute is looked at only then: one query less per file on a file server.
  bool cleared = false;
  if (!file && writable && mode == FileMode::kBinary && MakeWritable(fs, path)) {
    cleared = true;
    file = fs.Open(path, access, refused);
  }
  if (!file) {
    if (why != nullptr) *why = std::move(refused.InFile(path));
    return nullptr;
  }
  auto opened = std::make_unique<RecordFile>(std::move(file), path, writable, append, mode);
  if (cleared) opened->set_cleared_read_only();
  return opened;
}

}  // namespace

FileHandle OpenRead(platform::FileSystem& fs, std::string_view path, FileMode mode, Outcome* why) {
  return Open(fs, path, platform::Access::kRead, false, false, mode, why);
}
FileHandle OpenUpdate(platform::FileSystem& fs, std::string_view path, FileMode mode,
                      Outcome* why) {
  return Open(fs, path, platform::Access::kReadWrite, true, false, mode, why);
}
FileHandle OpenCreate(platform::FileSystem& fs, std::string_view path, FileMode mode,
                      Outcome* why) {
  return Open(fs, path, platform::Access::kCreate, true, false, mode, why);
}
// The product's "w+" and "w" openings differ only in whether the program reads back what
// it wrote; a handle here can always do both.
FileHandle OpenCreateUpdate(platform::FileSystem& fs, std::string_view path, FileMode mode,
                            Outcome* why) {
  return OpenCreate(fs, path, mode, why);
}
FileHandle OpenAppend(platform::FileSystem& fs, std::string_view path, FileMode mode,
                      Outcome* why) {
  return Open(fs, path, platform::Access::kOpenAlways, true, true, mode, why);
}

Outcome CloseFile(FileHandle& file) {
  if (!file) return {};
  Outcome closed = file->Close();
  file.reset();
  return closed;
}

bool RecordPosition(std::int64_t n, std::int64_t w, std::int64_t offset, std::int64_t& pos) {
  std::int64_t start = 0;
  return !__builtin_mul_overflow(n, w, &start) && !__builtin_add_overflow(start, offset, &pos);
}

bool SeekInside(RecordFile* file, std::int64_t pos) {
  if (file == nullptr || pos < 0 || static_cast<std::uint64_t>(pos) >= file->Size()) return false;
  file->Seek(static_cast<std::uint64_t>(pos));
  return true;
}

bool ReadField(RecordFile* file, std::string& out, std::size_t n) {
  out.clear();
  return file != nullptr && file->ReadLine(out, n) > 0;
}

bool IsDeleted(RecordFile* file, std::int64_t n, std::int64_t w) {
  std::int64_t pos = 0;
  if (file == nullptr || n < 0 || w <= 0 || !RecordPosition(n, w, w - 1, pos)) return false;
  if (!SeekInside(file, pos)) return false;
  char c;
  return file->Read(&c, 1) == 1 && c == '+';
}

std::string& TrimRight(std::string& text) {
  std::size_t end = text.find_last_not_of(' ');
  text.resize(end == std::string::npos ? 0 : end + 1);
  return text;
}

std::string& CutText(std::string& text, std::size_t n) {
  if (text.size() > n) text.resize(n);
  return text;
}

bool GetField(platform::FileSystem& fs, RecordFile* file, std::int64_t n, std::string& out, int k,
              std::string_view path, std::int32_t w, std::span<const std::int32_t> widths) {
  bool read = false;
  out.clear();
  if (n >= 0 && k >= 0 && static_cast<std::size_t>(k) < widths.size()) {
    FileHandle opened;
    if (file == nullptr) {
      opened = OpenRead(fs, path);
      file = opened.get();
    }
    if (file != nullptr) {
      std::int64_t offset = 0;
      bool inside = true;
      for (int i = 0; i < k; ++i) {
        offset += widths[static_cast<std::size_t>(i)];
        if (w > 0 && offset >= w) {
          inside = false;
          break;
        }
      }
      std::int64_t pos = 0;
      if (inside && widths[static_cast<std::size_t>(k)] > 0 && RecordPosition(n, w, offset, pos) &&
          SeekInside(file, pos) &&
          ReadField(file, out, static_cast<std::size_t>(widths[static_cast<std::size_t>(k)]))) {
        TrimRight(out);
        read = true;
      }
    }
  }
  if (!read) out.clear();
  return read;
}

}  // namespace livrana
