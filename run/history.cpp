#include "run/history.h"

#include <algorithm>

#include "platform/clock.h"
#include "records/format.h"
#include "records/record_file.h"
#include "run/whole_file.h"

namespace livrana {
namespace {

struct Field {
  std::size_t offset;
  std::size_t width;
};
constexpr Field kDate{0, 10};
constexpr Field kTime{11, 8};
constexpr Field kCommand{20, 8};
constexpr Field kStep{29, 18};
constexpr Field kResult{48, 12};
constexpr Field kRun{61, 36};
constexpr Field kText{98, 78};
constexpr std::size_t kRecordLength = kText.offset + kText.width;
// A line shorter than this holds no result.
constexpr std::size_t kShortestLine = kResult.offset + 1;

// A field's text as it is written: control characters as spaces, cut to the width, padded.
std::string Padded(std::string_view text, Field field) {
  std::string value(text.substr(0, field.width));
  for (char& c : value) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  value.resize(field.width, ' ');
  return value;
}

std::string FieldOf(std::string_view line, Field field) {
  if (line.size() <= field.offset) return {};
  std::string value(line.substr(field.offset, field.width));
  return TrimRight(value);
}

std::string Line(const HistoryEntry& entry) {
  std::string line;
  auto add = [&line](std::string_view text, Field field) {
    line.resize(field.offset, ' ');
    line += Padded(text, field);
  };
  add(entry.date, kDate);
  add(entry.time, kTime);
  add(entry.command, kCommand);
  add(entry.step, kStep);
  add(entry.result, kResult);
  add(entry.run, kRun);
  add(entry.text, kText);
  return line + "\r\n";
}

}  // namespace

std::string_view ResultOf(const Outcome& outcome) {
  if (outcome.ok()) return kResultDone;
  return outcome.cause() == Cause::kInterrupted ? kResultInterrupted : kResultFailed;
}

HistoryEntry HistoryEntryNow(std::string_view command, std::string_view step,
                             const Outcome& outcome, std::string_view run) {
  platform::LocalTime now = platform::Now();
  HistoryEntry entry;
  entry.date = Format("%02d/%02d/%04d", now.day, now.month, now.year);
  entry.time = Format("%02d:%02d:%02d", now.hour, now.minute, now.second);
  entry.command = command;
  entry.step = step;
  entry.result = ResultOf(outcome);
  entry.run = run;
  entry.text = Describe(outcome);
  return entry;
}

Outcome AppendHistory(platform::FileSystem& fs, const HistoryEntry& entry) {
  std::string text;
  if (fs.Attributes(kHistoryFile)) {
    Outcome why;
    auto history = ReadWholeFile(fs, kHistoryFile, &why);
    if (!history) return why;
    text = std::move(*history);
    // Every line of ours ends with CR LF; a tail without its line end is not one of them.
    text.resize(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
  }
  text += Line(entry);
  return ReplaceWholeFile(fs, kHistoryFile, kHistoryNew, text);
}

std::vector<HistoryEntry> ReadHistory(platform::FileSystem& fs, std::size_t last) {
  std::vector<HistoryEntry> entries;
  auto text = ReadWholeFile(fs, kHistoryFile);
  if (!text) return entries;
  std::string_view rest = *text;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) break;  // torn: not a line of ours
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < kShortestLine) continue;
    entries.push_back({FieldOf(line, kDate), FieldOf(line, kTime), FieldOf(line, kCommand),
                       FieldOf(line, kStep), FieldOf(line, kResult), FieldOf(line, kRun),
                       FieldOf(line, kText)});
  }
  if (last != 0 && entries.size() > last) {
    entries.erase(entries.begin(), entries.end() - static_cast<std::ptrdiff_t>(last));
  }
  return entries;
}

static_assert(kRecordLength == 176);

}  // namespace livrana
