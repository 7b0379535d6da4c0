// Fuzz target of the current conversion: a data folder in memory built from the input (the
// register, invoice files of a few companies and years, the phone tables, with odd
// lengths, line feeds, Ctrl-Z and zero bytes), converted twice. Checked:
//   - an invoice record changes only in bytes 52 to 137, and exactly as the conversion
//     says when its company was visited; a table record changes only in bytes 290 to 353;
//   - no file changes size, none is removed, and the only new file is FTEL1.DAT, whose
//     lines all have their layout;
//   - nothing outside the data folder is touched;
//   - a second run changes nothing.
// The sanitizers check the rest.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "convert/convert434.h"
#include "platform/file_system.h"
#include "platform/memory_file_system.h"

namespace {

using Snapshot = std::map<std::string, std::string>;

void Check(bool ok) {
  if (!ok) std::abort();
}

class QuietSink final : public livrana::Sink {
 public:
  void Status(std::string_view) override {}
  void Inform(std::string_view, std::string_view) override {}
  void Fail(std::string_view, std::string_view) override { failed = true; }
  void Warn(std::string_view, std::string_view) override {}
  bool Ask(std::string_view, std::string_view) override { return false; }
  void BeginWait() override {}
  void EndWait() override {}
  bool failed = false;
};

// Bytes that the layouts meet, and those that they must survive.
constexpr char kAlphabet[] = {'0', '1',  ' ', ' ',  ' ',  'A',  'b',  'Z',
                              '9', '+',  '*', '\n', '\r', 0x1A, '\0', static_cast<char>(0xE7),
                              '.', '\\', '/', ':'};

std::string Bytes(FuzzedDataProvider& in, std::size_t n) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i)
    text += kAlphabet[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kAlphabet - 1)];
  return text;
}

// A record of length w: spaces with a few runs of fuzzed bytes, and mostly the bytes that
// make an invoice record qualify.
std::string MakeRecord(FuzzedDataProvider& in, std::size_t w) {
  std::string rec(w, ' ');
  if (w > 0 && in.ConsumeBool()) rec[0] = '0';
  if (w > 60 && in.ConsumeBool()) rec.replace(52, 9, "ABCDEFGHI");
  if (w > 88 && in.ConsumeBool()) rec.replace(80, 9, "RSTUVWXYZ");
  auto field = [&](std::size_t offset, std::size_t width) {
    std::string text = Bytes(in, in.ConsumeIntegralInRange<std::size_t>(0, width));
    rec.replace(offset, text.size(), text);
  };
  if (w > 330 && in.ConsumeBool()) field(290, 41);
  if (w > 353 && in.ConsumeBool()) field(331, 23);
  for (int runs = in.ConsumeIntegralInRange(0, 3); runs > 0 && w > 0; --runs) {
    std::size_t at = in.ConsumeIntegralInRange<std::size_t>(0, w - 1);
    std::string run = Bytes(in, in.ConsumeIntegralInRange<std::size_t>(1, 12));
    rec.replace(at, std::min(run.size(), w - at), run.substr(0, w - at));
  }
  return rec;
}

// A file of records of length w, its last one maybe cut short.
std::string MakeTable(FuzzedDataProvider& in, std::size_t w, int max_records) {
  std::string data;
  for (int n = in.ConsumeIntegralInRange(0, max_records); n > 0; --n) data += MakeRecord(in, w);
  if (!data.empty() && in.ConsumeBool())
    data.resize(data.size() - in.ConsumeIntegralInRange<std::size_t>(0, w - 1));
  return data;
}

void Write(livrana::platform::FileSystem& fs, std::string_view path, const std::string& data) {
  auto file = fs.Open(path, livrana::platform::Access::kCreate);
  Check(file && file->WriteAt(0, data.data(), data.size()) && file->Close());
}

// An invoice record converted: the old field at 52 moves to 80, the text of 80 to 127.
std::string Converted(std::string rec) {
  if (rec.size() < 138 || rec[0] != '0' || rec[51] != ' ' || rec[52] == ' ') return rec;
  std::string old = rec.substr(80, 9);
  rec.replace(80, 9, rec.substr(52, 9));
  rec.replace(127, 11, old + "  ");
  rec.replace(52, 10, std::string(10, ' '));
  return rec;
}

// Whether only the bytes [lo, hi) of each record of length w differ.
bool OnlyFieldsChanged(const std::string& before, const std::string& after, std::size_t w,
                       std::size_t lo, std::size_t hi) {
  if (before.size() != after.size()) return false;
  for (std::size_t i = 0; i < before.size(); ++i) {
    std::size_t at = i % w;
    if (before[i] != after[i] && (at < lo || at >= hi)) return false;
  }
  return true;
}

std::size_t TableLength(std::string_view name) {
  if (name == "F01R0.DAT") return 814;
  if (name == "F00R0.DAT" || name == "F02R1.DAT" || name == "F08R1.DAT") return 1000;
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider in(bytes, size);
  livrana::platform::MemoryFileSystem fs;
  Write(fs, "/tmp/OUTSIDE.DAT", "outside");
  fs.MakeFolder("/data/R00");

  // The register: codes from a small set, so that companies share folders and filters
  // match, with names that cannot name a folder among them.
  static const char* const kCodes[] = {"0001", "0002", "a", "A",  "..",
                                       "CON",  "x*",   "",  " 7", "0002 "};
  std::string reg;
  for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
    std::string rec = MakeRecord(in, 1000);
    std::string code = kCodes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCodes) - 1)];
    rec.replace(0, 11, (code + std::string(11, ' ')).substr(0, 11));
    if (in.ConsumeBool()) rec[999] = '+';
    reg += rec;
  }
  if (!reg.empty() && in.ConsumeBool())
    reg.resize(reg.size() - in.ConsumeIntegralInRange<std::size_t>(0, 999));
  if (in.ConsumeBool()) Write(fs, "F00R0.DAT", reg);

  for (int files = in.ConsumeIntegralInRange(0, 5); files > 0; --files) {
    std::string code = kCodes[in.ConsumeIntegralInRange<std::size_t>(0, 3)];
    fs.MakeFolder("R00\\" + code);
    int year = in.ConsumeIntegralInRange(1989, 2019);
    Write(fs, "R00\\" + code + "\\L50A" + std::to_string(year) + ".DAT", MakeTable(in, 400, 6));
  }
  if (in.ConsumeBool()) Write(fs, "F01R0.DAT", MakeTable(in, 814, 4));
  if (in.ConsumeBool()) Write(fs, "F02R1.DAT", MakeTable(in, 1000, 3));
  if (in.ConsumeBool()) Write(fs, "F08R1.DAT", MakeTable(in, 1000, 3));
  if (in.ConsumeIntegralInRange(0, 7) == 0) Write(fs, "FTEL1.DAT", "");
  std::string filter;
  if (in.ConsumeBool())
    filter = kCodes[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCodes) - 1)];

  const Snapshot before = fs.Snapshot();
  const Snapshot outside = fs.SnapshotOutside();
  QuietSink sink;
  livrana::Context ctx{fs, sink, filter};
  livrana::Convert434Result result = livrana::Convert434(ctx);
  // A folder without the product's data files, or a filter that selects no company, is
  // refused before anything changes.
  const livrana::Cause cause = result.outcome.cause();
  if (cause == livrana::Cause::kNotDataFolder || cause == livrana::Cause::kNoCompany) {
    Check(fs.Snapshot() == before && fs.SnapshotOutside() == outside);
    return 0;
  }
  Check(result.ok() && !sink.failed);
  const Snapshot after = fs.Snapshot();
  Check(fs.SnapshotOutside() == outside);

  for (const auto& [path, data] : before) {
    auto it = after.find(path);
    Check(it != after.end());
    const std::string& now = it->second;
    if (std::size_t w = TableLength(path)) {
      Check(OnlyFieldsChanged(data, now, w, 290, 354));
    } else if (path.find("L50A") != std::string::npos && path.back() != '\\') {
      Check(OnlyFieldsChanged(data, now, 400, 52, 138));
      // Converted as the step says when a visited company's folder holds it.
      std::string folder = path.substr(4, path.find('\\', 4) - 4);
      int year = std::stoi(path.substr(path.size() - 8, 4));
      bool visited = false;
      for (const auto& code : result.companies)
        visited = visited || livrana::platform::SameName(code, folder);
      std::string want;
      for (std::size_t at = 0; at < data.size(); at += 400) {
        std::string rec = data.substr(at, 400);
        want += visited && year >= 1990 && year <= 2018 ? Converted(rec) : rec;
      }
      Check(now == want);
    } else {
      Check(now == data);
    }
  }
  for (const auto& [path, data] : after) {
    if (before.count(path)) continue;
    Check(path == "FTEL1.DAT");
    Check(data.size() % 40 == 0 &&
          static_cast<std::int64_t>(data.size() / 40) == result.phone_lines);
    for (std::size_t at = 0; at < data.size(); at += 40) {
      std::string_view line(data.data() + at, 40);
      Check(line.substr(38) == "\r\n");
      Check(line.substr(0, 2) == "00" || line.substr(0, 2) == "01" || line.substr(0, 2) == "02" ||
            line.substr(0, 2) == "08");
      Check(line.substr(2, 2) == "01" || line.substr(2, 2) == "02");
    }
  }

  // A second run changes nothing.
  livrana::Convert434Result again = livrana::Convert434(ctx);
  Check(again.ok() && again.converted == 0);
  Check(fs.Snapshot() == after);
  Check(fs.SnapshotOutside() == outside);
  return 0;
}
