#include "library/first/text_io.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "records/format.h"

namespace livrana {

// ---- TextSource ---------------------------------------------------------------------------

namespace {

constexpr char kCtrlZ = 0x1A;
constexpr std::size_t kTextBlock = 64 * 1024;
// Targets kept open at once by AppendTargets.
constexpr std::size_t kOpenTargets = 32;
// The block of each of them: together they hold at most 4 MiB. Memory touched for the first
// time costs a page fault per 4 KiB, more than the few extra writes of smaller blocks.
constexpr std::size_t kTargetBlock = 128 * 1024;

// Whether a byte is one that the text-mode rules look at.
inline bool Special(char c) {
  return static_cast<unsigned char>(c) <= static_cast<unsigned char>(kCtrlZ) &&
         (c == '\n' || c == '\r' || c == kCtrlZ);
}

bool NothingButLineEnds(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; });
}

}  // namespace

TextSource::TextSource(FileHandle file)
    : file_(std::move(file)), buffer_(std::make_unique_for_overwrite<char[]>(kTextBlock)) {}

std::unique_ptr<TextSource> TextSource::Open(platform::FileSystem& fs, std::string_view path,
                                             Outcome* why) {
  FileHandle file = OpenRead(fs, path, FileMode::kBinary, why);
  if (!file) return nullptr;
  return std::unique_ptr<TextSource>(new TextSource(std::move(file)));
}

bool TextSource::Ensure(std::size_t n) {
  n = std::min(n, kTextBlock);
  if (length_ - at_ >= n) return true;
  if (at_ > 0) {
    // What is left moves to the front; positions stay those of the file.
    std::memmove(buffer_.get(), buffer_.get() + at_, length_ - at_);
    buffer_at_ += at_;
    length_ -= at_;
    at_ = 0;
  }
  while (length_ < n) {
    file_->Seek(buffer_at_ + length_);
    std::size_t got = file_->Read(buffer_.get() + length_, kTextBlock - length_);
    if (got == 0) break;
    length_ += got;
  }
  return length_ >= n;
}

std::uint64_t TextSource::NextSpecial() {
  const std::uint64_t pos = Tell(), end = buffer_at_ + length_;
  std::uint64_t from = pos;
  if (scan_from_ <= pos && pos <= special_) {
    if (special_ < scanned_) return special_;
    if (scanned_ >= end) return end;
    from = scanned_;
  } else {
    scan_from_ = pos;
  }
  const char* start = buffer_.get() + (from - buffer_at_);
  const std::size_t count = static_cast<std::size_t>(end - from);
  std::size_t first = count;
  for (char c : {'\n', '\r', kCtrlZ}) {
    if (const void* hit = std::memchr(start, c, first)) {
      first = static_cast<std::size_t>(static_cast<const char*>(hit) - start);
    }
  }
  special_ = from + first;
  scanned_ = end;
  return special_;
}

void TextSource::Seek(std::uint64_t pos) {
  ended_ = false;
  if (pos >= buffer_at_ && pos <= buffer_at_ + length_) {
    at_ = static_cast<std::size_t>(pos - buffer_at_);
    return;
  }
  buffer_at_ = pos;
  at_ = length_ = 0;
  scan_from_ = special_ = scanned_ = pos;
}

std::size_t TextSource::Read(std::size_t n, std::string& out) {
  out.clear();
  while (out.size() < n) {
    if (at_ == length_ && !Ensure(1)) {
      ended_ = true;
      break;
    }
    std::size_t want = std::min(n - out.size(), length_ - at_);
    std::size_t plain = static_cast<std::size_t>(NextSpecial() - buffer_at_) - at_;
    std::size_t k = std::min(want, plain);
    out.append(buffer_.get() + at_, k);
    at_ += k;
    if (k == want) continue;
    char c = buffer_[at_];
    if (c == kCtrlZ) {
      ended_ = true;  // not consumed: every later read stops here too
      break;
    }
    ++at_;
    if (c == '\n') {
      out += '\n';
      break;
    }
    // A carriage return: with the line feed after it, the two are one line feed.
    if (at_ == length_) Ensure(1);
    if (at_ < length_ && buffer_[at_] == '\n') {
      ++at_;
      out += '\n';
      break;
    }
    out += '\r';
  }
  return out.size();
}

std::size_t TextSource::Piece(std::size_t n, std::string& out) {
  std::size_t read = Read(n, out);
  if (read < n) out.append(n - read, ' ');
  return read;
}

std::size_t TextSource::First(std::size_t n, std::string& out) {
  for (;;) {
    std::size_t read = Read(n, out);
    if (read == 0) return 0;
    if (NothingButLineEnds(out)) continue;
    if (read < n) out.append(n - read, ' ');
    return read;
  }
}

std::span<const std::string_view> TextSource::Record(std::span<const std::size_t> widths) {
  return Pieces(widths, true);
}

std::span<const std::string_view> TextSource::Rest(std::span<const std::size_t> widths) {
  return Pieces(widths, false);
}

std::span<const std::string_view> TextSource::Pieces(std::span<const std::size_t> widths,
                                                     bool record_start) {
  views_.resize(widths.size());
  first_read_ = 0;
  if (widths.empty()) return views_;
  std::size_t total = 0;
  for (std::size_t w : widths) total += w;
  if (Ensure(total) && NextSpecial() >= Tell() + total) {
    // No byte that the text-mode rules change: the pieces are the bytes as stored.
    const char* p = buffer_.get() + at_;
    for (std::size_t i = 0; i < widths.size(); ++i) {
      views_[i] = std::string_view(p, widths[i]);
      p += widths[i];
    }
    at_ += total;
    first_read_ = widths[0];
    return views_;
  }
  pieces_.resize(widths.size());
  first_read_ = record_start ? First(widths[0], pieces_[0]) : Piece(widths[0], pieces_[0]);
  if (first_read_ == 0 && record_start) return {};
  for (std::size_t i = 1; i < widths.size(); ++i) Piece(widths[i], pieces_[i]);
  for (std::size_t i = 0; i < widths.size(); ++i) views_[i] = pieces_[i];
  return views_;
}

// Writes text as one text-mode record (OneLine), without a copy when it holds no line feed.
bool WriteRecord(RecordFile& target, std::string_view text) {
  if (text.find('\n') == std::string_view::npos) return target.Write(text);
  return target.Write(OneLine(std::string(text)));
}

Outcome ConvertRecords(TextSource& source, RecordFile& target, const RecordConverter& convert) {
  std::string records;
  while (convert(source, records)) {
    if (!records.empty() && !WriteRecord(target, records)) break;
    records.clear();
  }
  Outcome done = source.failure();
  return done.Also(target.failure());
}

// ---- Conversions on the step journal ---------------------------------------------------------

bool PassedOver(const Outcome& why) {
  switch (why.cause()) {
    case Cause::kNotFound:
    case Cause::kReadOnly:
    case Cause::kPermission:
    case Cause::kBadName:
    case Cause::kNotAFile:
    case Cause::kOutside:
      return true;
    default:
      return false;
  }
}

FileHandle OpenTarget(Conversion& conversion, platform::FileSystem& fs, std::string_view path,
                      bool append, Outcome& why) {
  if (auto attributes = fs.Attributes(path)) {
    // A file created empty never takes the place of a hidden or system file.
    std::uint32_t refused = platform::kDirectory | platform::kReadOnly |
                            (append ? 0u : platform::kHidden | platform::kSystem);
    if ((*attributes & refused) != 0) {
      why = Outcome::Failed(
          append ? Operation::kOpen : Operation::kCreate, path,
          (*attributes & platform::kReadOnly) != 0 ? Cause::kReadOnly : Cause::kNotAFile);
      return nullptr;
    }
  }
  return append ? conversion.Append(path, FileMode::kBinary, &why)
                : conversion.Create(path, FileMode::kBinary, &why);
}

Outcome AppendTargets::Open(const std::string& path, RecordFile*& file) {
  file = nullptr;
  auto found = std::find_if(open_.rbegin(), open_.rend(),
                            [&path](const Target& open) { return open.path == path; });
  if (found != open_.rend()) {
    file = found->file.get();
    auto at = std::prev(found.base());
    std::rotate(at, std::next(at), open_.end());  // the most recently used goes last
    return {};
  }
  if (passed_over_.count(path) != 0) return {};
  Outcome why;
  FileHandle opened = OpenTarget(conversion_, fs_, path, true, why);
  if (!opened) {
    if (!PassedOver(why)) return why;
    passed_over_.insert(path);
    return {};
  }
  if (open_.size() >= kOpenTargets) {
    // The least recently used one goes; it is opened again when a record follows for it.
    if (Outcome closed = CloseFile(open_.front().file); !closed) return closed;
    open_.erase(open_.begin());
  }
  opened->SetBlockBytes(kTargetBlock);
  file = opened.get();
  open_.push_back({path, std::move(opened)});
  return {};
}

Outcome AppendTargets::Append(const std::string& path, std::string_view record, bool& placed) {
  RecordFile* file = nullptr;
  if (Outcome opened = Open(path, file); !opened) return opened;
  if (file == nullptr) {
    placed = false;
    return {};
  }
  if (!WriteRecord(*file, record)) return file->failure();
  return {};
}

Outcome AppendTargets::Close() {
  Outcome closed;
  for (Target& open : open_) closed.Also(CloseFile(open.file));
  open_.clear();
  return closed;
}

Outcome CopyNew(Conversion& conversion, platform::FileSystem& fs, std::string_view from,
                std::string_view to, bool& copied) {
  copied = false;
  if (fs.Attributes(to)) return {};  // never overwrites
  if (Outcome noted = conversion.Note(to); !noted) return noted;
  Outcome done = fs.Copy(from, to, false);
  if (done) {
    copied = true;
    return {};
  }
  if (done.cause() == Cause::kExists || PassedOver(done)) return {};
  return done.InFile(to);
}

void ConsumeAtCommit(Conversion& conversion, platform::FileSystem& fs, std::string_view source,
                     bool remove) {
  if (!remove) {
    conversion.MoveToSafetyAtCommit(source);
    return;
  }
  auto attributes = fs.Attributes(source);
  if (attributes && (*attributes & platform::kReadOnly) == 0) {
    conversion.RemoveAtCommit(source);
  } else {
    conversion.MoveToSafetyAtCommit(source);
  }
}

Outcome ConvertFileIn(Conversion& conversion, platform::FileSystem& fs, const FileJob& job,
                      const RecordConverter& convert, bool* converted) {
  if (converted != nullptr) *converted = false;
  Outcome why;
  auto source = TextSource::Open(fs, job.source, &why);
  if (!source) return PassedOver(why) ? Outcome() : why;
  FileHandle out = OpenTarget(conversion, fs, job.target, job.append, why);
  if (!out) return PassedOver(why) ? Outcome() : why;
  Outcome done = ConvertRecords(*source, *out, convert);
  done.Also(CloseFile(out));
  if (!done) return done;
  ConsumeAtCommit(conversion, fs, job.source, job.remove);
  if (converted != nullptr) *converted = true;
  return {};
}

Outcome ConvertFile(Context& ctx, std::string_view step, const FileJob& job,
                    const RecordConverter& convert, bool* converted,
                    const std::function<Outcome(Conversion&)>& then) {
  bool done_here = false;
  Conversion conversion(ctx, step);
  Outcome done = ConvertFileIn(conversion, ctx.fs, job, convert, &done_here);
  if (done && done_here && then) done = then(conversion);
  // A failure abandons the conversion: every target gets back what it held (the next run
  // rolls back what this one could not).
  if (!done) return done;
  if (Outcome committed = conversion.Commit(); !committed) return committed;
  if (converted != nullptr) *converted = done_here;
  return {};
}

}  // namespace livrana
