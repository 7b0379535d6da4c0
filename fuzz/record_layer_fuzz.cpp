// Fuzz target of the record layer: a record file built from the input, read through
// GetField, ReadField (binary and text mode), TrimRight and CutText, each result compared
// with what the record-file conventions say it must be.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/memory_file_system.h"
#include "records/record_file.h"

namespace {

using livrana::FileMode;

void Check(bool ok) {
  if (!ok) std::abort();
}

// What reading at most n characters at pos must give: bytes as stored in binary mode; in
// text mode CR LF gives LF and Ctrl-Z ends the file. The read stops after a line feed.
std::string Expected(const std::string& data, std::uint64_t pos, std::size_t n, FileMode mode) {
  std::string out;
  while (out.size() < n && pos < data.size()) {
    char c = data[pos];
    if (mode == FileMode::kText) {
      if (c == 0x1A) break;
      if (c == '\r' && pos + 1 < data.size() && data[pos + 1] == '\n') {
        c = '\n';
        ++pos;
      }
    }
    out += c;
    ++pos;
    if (c == '\n') break;
  }
  return out;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider in(bytes, size);
  const FileMode mode = in.ConsumeBool() ? FileMode::kText : FileMode::kBinary;
  const auto w = in.ConsumeIntegralInRange<std::int32_t>(-2, 1200);
  std::vector<std::int32_t> widths(in.ConsumeIntegralInRange<std::size_t>(0, 8));
  for (auto& width : widths) width = in.ConsumeIntegralInRange<std::int32_t>(-3, 1100);
  const auto ops = in.ConsumeIntegralInRange<int>(1, 16);
  std::vector<std::int64_t> numbers;
  for (int i = 0; i < ops; ++i) numbers.push_back(in.ConsumeIntegral<std::int64_t>());
  const std::string data = in.ConsumeRemainingBytesAsString();

  livrana::platform::MemoryFileSystem fs;
  {
    auto file = fs.Open("T.DAT", livrana::platform::Access::kCreate);
    Check(file && file->WriteAt(0, data.data(), data.size()) && file->Close());
  }
  auto file = livrana::OpenRead(fs, "T.DAT", mode);
  Check(file != nullptr);
  if (w > 0 && (numbers[0] & 1)) file->SetRecordLength(static_cast<std::uint32_t>(w));

  std::string out;
  for (std::int64_t number : numbers) {
    switch (static_cast<std::uint64_t>(number) % 4) {
      case 0: {  // ReadField at a byte position
        std::int64_t pos = (number / 4) % (static_cast<std::int64_t>(data.size()) + 2);
        std::size_t n = static_cast<std::size_t>((number >> 32) & 0x7FF);
        bool inside = livrana::SeekInside(file.get(), pos);
        Check(inside == (pos >= 0 && static_cast<std::uint64_t>(pos) < data.size()));
        if (!inside) break;
        bool read = livrana::ReadField(file.get(), out, n);
        std::string want = Expected(data, static_cast<std::uint64_t>(pos), n, mode);
        Check(read == !want.empty() && out == want);
        break;
      }
      case 1: {  // GetField of record n, field k, with an open handle and without one
        // Record numbers near the ends of the range too: n * w must not overflow.
        std::int64_t n = (number & 0x40) ? number : number >> 20;
        int k = static_cast<int>((number >> 2) % 10);
        bool read = livrana::GetField(fs, file.get(), n, out, k, "T.DAT", w, widths);
        std::string again;
        bool reread = livrana::GetField(fs, nullptr, n, again, k, "T.DAT", w, widths);
        if (mode == FileMode::kBinary) Check(read == reread && out == again);
        if (!read) Check(out.empty());
        Check(out.size() <= (k >= 0 && static_cast<std::size_t>(k) < widths.size() &&
                                     widths[static_cast<std::size_t>(k)] > 0
                                 ? static_cast<std::size_t>(widths[static_cast<std::size_t>(k)])
                                 : 0));
        if (mode == FileMode::kBinary && read) {
          // The value is the field's bytes as stored, cut after a line feed and trimmed.
          std::int64_t offset = 0;
          for (int i = 0; i < k; ++i) offset += widths[static_cast<std::size_t>(i)];
          std::uint64_t pos = static_cast<std::uint64_t>(n * w + offset);
          Check(out == Trimmed(Expected(
                           data, pos, static_cast<std::size_t>(widths[static_cast<std::size_t>(k)]),
                           mode)));
        }
        break;
      }
      case 2: {  // TrimRight; and the deletion mark of record n
        std::int64_t n = (number & 0x40) ? number : number >> 20;
        bool deleted = livrana::IsDeleted(file.get(), n, w);
        if (mode == FileMode::kBinary && n >= 0 && w > 0 && n < (INT64_MAX - w) / w) {
          std::uint64_t at = static_cast<std::uint64_t>(n * w + w - 1);
          Check(deleted == (at < data.size() && data[at] == '+'));
        }
        std::string text =
            data.substr(0, static_cast<std::size_t>(number >> 40) % (data.size() + 1));
        std::string trimmed = text;
        livrana::TrimRight(trimmed);
        Check(text.compare(0, trimmed.size(), trimmed) == 0);
        Check(trimmed.empty() || trimmed.back() != ' ');
        Check(text.find_first_not_of(' ', trimmed.size()) == std::string::npos);
        break;
      }
      case 3: {  // CutText
        std::string text =
            data.substr(0, static_cast<std::size_t>(number >> 40) % (data.size() + 1));
        std::size_t n = static_cast<std::size_t>((number >> 2) & 0x3FF);
        std::string cut = text;
        livrana::CutText(cut, n);
        Check(cut == text.substr(0, std::min(n, text.size())));
        break;
      }
    }
  }
  return 0;
}
