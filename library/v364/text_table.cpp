#include "library/v364/text_table.h"

#include <algorithm>
#include <cstring>

namespace livrana {
namespace {

constexpr char kCtrlZ = 0x1A;
constexpr std::size_t kScanPiece = 64 * 1024;

}  // namespace

TextTable::TextTable(RecordFile& file, std::size_t width)
    : file_(file), width_(std::max<std::size_t>(width, 1)), end_(file.Size()) {
  file_.SetRecordLength(static_cast<std::uint32_t>(width_));
}

// Looks at every byte before pos (and at pos) for the first Ctrl-Z.
bool TextTable::ScanTo(std::uint64_t pos) {
  std::string piece;
  while (!end_found_ && scanned_ <= pos && scanned_ < end_) {
    piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kScanPiece, end_ - scanned_)));
    file_.Seek(scanned_);
    std::size_t got = file_.Read(piece.data(), piece.size());
    if (got == 0) return false;
    if (const void* z = std::memchr(piece.data(), kCtrlZ, got)) {
      end_ = scanned_ + static_cast<std::uint64_t>(static_cast<const char*>(z) - piece.data());
      end_found_ = true;
    }
    scanned_ += got;
  }
  return true;
}

bool TextTable::Inside(std::int64_t pos) {
  if (pos < 0) return false;
  return ScanTo(static_cast<std::uint64_t>(pos)) && static_cast<std::uint64_t>(pos) < End();
}

bool TextTable::Load(std::int64_t n) {
  raw_.clear();
  record_bytes_ = 0;
  plain_ = true;
  std::int64_t start = 0;
  if (n < 0 || !RecordPosition(n, static_cast<std::int64_t>(width_), 0, start)) return false;
  const auto from = static_cast<std::uint64_t>(start);
  if ((from > 0 && !ScanTo(from - 1)) || from >= End()) return false;
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>(width_ + 1, End() - from));
  raw_.resize(want);
  file_.Seek(from);
  raw_.resize(file_.Read(raw_.data(), want));
  if (const void* z = std::memchr(raw_.data(), kCtrlZ, raw_.size())) {
    const auto at = static_cast<std::size_t>(static_cast<const char*>(z) - raw_.data());
    end_ = from + at;
    end_found_ = true;
    raw_.resize(at);
  }
  scanned_ = std::max<std::uint64_t>(scanned_, from + raw_.size());
  record_bytes_ = std::min(raw_.size(), width_);
  // Two scans for a byte each: find_first_of would look up the pair for every byte.
  plain_ = std::memchr(raw_.data(), '\r', raw_.size()) == nullptr &&
           std::memchr(raw_.data(), '\n', raw_.size()) == nullptr;
  return !raw_.empty();
}

std::string TextTable::Field(std::size_t offset, std::size_t count) const {
  if (plain_) return std::string(PlainField(offset, count));
  if (offset >= record_bytes_) return {};
  count = std::min(count, width_ - offset);
  std::string out;
  for (std::size_t i = offset; out.size() < count && i < raw_.size(); ++i) {
    if (i >= record_bytes_) break;  // the byte after the record only ends a line
    char c = raw_[i];
    if (c == '\r' && i + 1 < raw_.size() && raw_[i + 1] == '\n') {
      c = '\n';
      ++i;
    }
    out += c;
    if (c == '\n') break;
  }
  return out;
}

std::string_view TextTable::PlainField(std::size_t offset, std::size_t count) const {
  if (offset >= record_bytes_) return {};
  count = std::min(count, width_ - offset);
  return std::string_view(raw_).substr(offset, std::min(count, record_bytes_ - offset));
}

char TextTable::Char(std::size_t offset) const {
  if (plain_) return offset < record_bytes_ ? raw_[offset] : '\0';
  std::string c = Field(offset, 1);
  return c.empty() ? '\0' : c[0];
}

std::string_view TextTable::Raw() const { return std::string_view(raw_).substr(0, record_bytes_); }

std::string OneLineField(std::string field) {
  std::replace(field.begin(), field.end(), '\n', ' ');
  return field;
}

}  // namespace livrana
