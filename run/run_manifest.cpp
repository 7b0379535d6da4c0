#include "run/run_manifest.h"

#include <algorithm>
#include <charconv>

#include "platform/clock.h"
#include "platform/cp1252.h"
#include "records/format.h"
#include "run/run_backups.h"
#include "run/safety.h"
#include "run/whole_file.h"

namespace livrana {
namespace {

constexpr std::string_view kFormatLine = "LIVRANA EXECUCAO 1";
constexpr std::string_view kManifestWork = "EXECUCAO.NEW";
constexpr std::string_view kUnnamedFolder = "PASTA";
// Names tried for a run's folder: the plain one, then "-2" to this.
constexpr int kRunNameSuffixes = 99;

// The data folder's name as the start of a run's id: what Windows and a shell take without
// quoting, at most kRunNameLimit characters.
std::string RunName(std::string_view real_root) {
  auto parts = platform::SplitPath(real_root);
  std::string name;
  if (!parts.empty() && !(parts.size() == 1 && parts[0].size() == 2 && parts[0][1] == ':')) {
    for (char c : parts.back()) {
      bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '_' || c == '.';
      name += plain ? c : '_';
    }
  }
  if (name.size() > kRunNameLimit) name.resize(kRunNameLimit);
  while (!name.empty() && (name.back() == '.' || name.back() == '_')) name.pop_back();
  while (!name.empty() && name.front() == '.') name.erase(0, 1);
  if (name.empty() || platform::IsReservedDeviceName(name)) name = kUnnamedFolder;
  return name;
}

// A field of a manifest line as written: line ends, and a "|" where fields are separated,
// cannot be in it.
bool Writable(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; });
}

std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\r' || c == '\n' || c == '|') c = ' ';
  }
  return line;
}

// The fields of text split at the first n - 1 separators: the last field keeps the rest.
std::vector<std::string_view> Fields(std::string_view text, std::size_t n) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < n) {
    std::size_t bar = text.find('|');
    if (bar == std::string_view::npos) break;
    fields.push_back(text.substr(0, bar));
    text.remove_prefix(bar + 1);
  }
  fields.push_back(text);
  return fields;
}

template <typename T>
bool Number(std::string_view text, T& out) {
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && ptr == text.data() + text.size() && !text.empty();
}

std::string CopyPath(std::string_view run_folder, std::string_view original, int number) {
  return SafetyCopyPath(std::string(run_folder) + "\\", kRunCopies, original, number);
}

// The highest number of a run of this data folder so far; 0 when it has none.
int LastSequence(platform::FileSystem& fs, std::string_view real_root) {
  int last = 0;
  const std::string runs = RunsFolder(fs);
  for (const auto& entry : fs.Find(runs + "\\*", platform::kDirectory | platform::kHidden)) {
    if ((entry.attributes & platform::kDirectory) == 0) continue;
    Manifest manifest;
    if (ReadManifest(fs, runs + "\\" + entry.name, &manifest) &&
        SameDataFolder(manifest.data_folder, real_root)) {
      last = std::max(last, manifest.sequence);
    }
  }
  return last;
}

}  // namespace

std::string TimeNow() {
  platform::LocalTime now = platform::Now();
  return Format("%02d/%02d/%04d %02d:%02d:%02d", now.day, now.month, now.year, now.hour, now.minute,
                now.second);
}

std::string RunsFolder(platform::FileSystem& fs) {
  return SafetyTempFolder(fs) + std::string(kRunsSubfolder);
}

bool SameDataFolder(std::string_view a, std::string_view b) {
  auto pa = platform::SplitPath(a), pb = platform::SplitPath(b);
  if (pa.size() != pb.size()) return false;
  const bool posix = !a.empty() && a[0] == '/';
  for (std::size_t i = 0; i < pa.size(); ++i) {
    if (posix ? pa[i] != pb[i] : !platform::SameName(pa[i], pb[i])) return false;
  }
  return posix == (!b.empty() && b[0] == '/');
}

Outcome ManifestWriter::Start(platform::FileSystem& data, std::string_view command,
                              std::unique_ptr<ManifestWriter>* writer) {
  const std::string temp = SafetyTempFolder(data);
  const std::string runs = RunsFolder(data);
  if (!data.Attributes(temp)) {
    return Outcome::Failed(Operation::kMakeFolder, runs, Cause::kNoSafetyFolder);
  }
  for (std::size_t i = temp.size() + 1; i < runs.size(); ++i) {
    if (platform::IsSeparator(runs[i])) data.MakeFolder(runs.substr(0, i));
  }
  data.MakeFolder(runs);
  const std::string real_root = data.RealRoot();
  if (!Writable(real_root)) return Outcome::Failed(Operation::kCreate, real_root, Cause::kBadName);
  const int sequence = LastSequence(data, real_root) + 1;

  platform::LocalTime now = platform::Now();
  const std::string stamp = Format("%04d%02d%02d-%02d%02d%02d", now.year, now.month, now.day,
                                   now.hour, now.minute, now.second);
  const std::string base = RunName(real_root) + "-" + stamp;
  std::string id, folder;
  Outcome made;
  for (int i = 1; i <= kRunNameSuffixes; ++i) {
    id = i == 1 ? base : Format("%s-%d", base, i);
    folder = runs + "\\" + id;
    made = data.MakeFolder(folder);
    if (made || made.cause() != Cause::kExists) break;
  }
  if (!made) {
    return made.cause() == Cause::kExists
               ? Outcome::Failed(Operation::kMakeFolder, folder, Cause::kNoSafetyName)
               : Outcome::Failed(Operation::kMakeFolder, folder, Cause::kNoSafetyFolder,
                                 made.system_code());
  }

  std::unique_ptr<ManifestWriter> run(new ManifestWriter(data, id, folder));
  Outcome walked;
  run->folders_before_ = FoldersBelow(data, "", &walked);
  // A folder left out of the list would be taken for one the run made, and an undo would
  // delete it.
  if (!walked) return walked;
  std::string start = std::string(kFormatLine) + "\r\n";
  start += "D " + real_root + "\r\n";
  start += Format("I %d|%02d/%02d/%04d %02d:%02d:%02d|%s\r\n", sequence, now.day, now.month,
                  now.year, now.hour, now.minute, now.second, OneLine(command));
  std::size_t listed = 0;
  for (const auto& path : run->folders_before_) {
    if (!Writable(path)) return Outcome::Failed(Operation::kCreate, path, Cause::kBadName);
    start += "F " + path + "\r\n";
    ++listed;
  }
  start += Format("L %lu\r\n", static_cast<unsigned long>(listed));
  const std::string manifest = folder + "\\" + std::string(kRunManifest);
  if (Outcome written =
          ReplaceWholeFile(data, manifest, folder + "\\" + std::string(kManifestWork), start);
      !written) {
    return written;
  }
  Outcome why;
  run->file_ = data.Open(manifest, platform::Access::kReadWrite, why);
  if (!run->file_) return why.InFile(manifest);
  run->end_ = start.size();
  *writer = std::move(run);
  return {};
}

ManifestWriter::~ManifestWriter() {
  if (file_) (void)file_->Close();
}

std::string ManifestWriter::CopiesSubfolder() const {
  return std::string(kRunsSubfolder) + "\\" + id_ + "\\" + std::string(kRunCopies);
}

Outcome ManifestWriter::Append(std::string line) {
  const std::string manifest = folder_ + "\\" + std::string(kRunManifest);
  if (!file_) return Outcome::Failed(Operation::kWrite, manifest, Cause::kClosed);
  line += "\r\n";
  // What a failed write left after the last whole line goes first.
  if (torn_) {
    if (Outcome cut = file_->Truncate(end_); !cut) return cut.InFile(manifest);
    torn_ = false;
  }
  Outcome written = file_->WriteAt(end_, line.data(), line.size());
  if (written) written = file_->Sync();
  if (!written) {
    torn_ = true;
    return written.InFile(manifest);
  }
  end_ += line.size();
  return {};
}

Outcome ManifestWriter::Backup(std::string_view original, std::string_view copy, std::uint64_t size,
                               bool read_only) {
  if (!Writable(original)) return Outcome::Failed(Operation::kCopy, original, Cause::kBadName);
  int number = 0;
  const std::string plain = CopyPath(folder_, original, 0);
  if (copy != plain) {
    if (copy.size() != plain.size() + 4 || !Number(copy.substr(plain.size() + 1), number)) {
      return Outcome::Failed(Operation::kCopy, copy, Cause::kBadName);
    }
  }
  return Append(Format("B %lu|%d|%d|%s", static_cast<unsigned long>(size), read_only ? 1 : 0,
                       number, original));
}

Outcome ManifestWriter::Creating(std::string_view path) {
  if (!Writable(path)) return Outcome::Failed(Operation::kCreate, path, Cause::kBadName);
  return Append("N " + std::string(path));
}

Outcome ManifestWriter::Step(std::string_view step, std::string_view result) {
  return Append(Format("S %s|%s", OneLine(step), OneLine(result)));
}

Outcome ManifestWriter::End(std::string_view result, std::string_view text) {
  Outcome ended = Append(Format("E %s|%s", OneLine(result), OneLine(text)));
  if (file_) ended.Also(file_->Close().InFile(folder_ + "\\" + std::string(kRunManifest)));
  file_.reset();
  return ended;
}

Outcome ReadManifest(platform::FileSystem& fs, std::string_view run_folder, Manifest* manifest) {
  const std::string path = std::string(run_folder) + "\\" + std::string(kRunManifest);
  Outcome why;
  auto text = ReadWholeFile(fs, path, &why);
  if (!text) return why.InFile(path);
  Manifest read;
  std::string_view rest = *text;
  bool format = false, started = false;
  auto damaged = [&path] { return Outcome::Failed(Operation::kRead, path, Cause::kDamaged); };
  while (!rest.empty()) {
    std::size_t end = rest.find("\r\n");
    if (end == std::string_view::npos) break;  // cut short by a stop: tells nothing
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 2);
    if (!format) {
      if (line != kFormatLine) return damaged();
      format = true;
      continue;
    }
    if (line.size() < 2 || line[1] != ' ') continue;
    const char tag = line[0];
    std::string_view value = line.substr(2);
    if (!started) {
      // The start was written whole: D, I, every F, then L.
      if (tag == 'D') {
        read.data_folder = value;
      } else if (tag == 'I') {
        auto fields = Fields(value, 3);
        if (fields.size() != 3 || !Number(fields[0], read.sequence)) return damaged();
        read.started = fields[1];
        read.command = fields[2];
      } else if (tag == 'F') {
        read.folders_before.emplace_back(value);
      } else if (tag == 'L') {
        std::size_t count = 0;
        if (!Number(value, count) || count != read.folders_before.size()) return damaged();
        started = true;
      }
      continue;
    }
    switch (tag) {
      case 'B': {
        auto fields = Fields(value, 4);
        Manifest::Backup backup;
        int read_only = 0, number = 0;
        if (fields.size() != 4 || !Number(fields[0], backup.size) ||
            !Number(fields[1], read_only) || !Number(fields[2], number) || number < 0 ||
            number > kSafetyNumbers || fields[3].empty()) {
          return damaged();
        }
        backup.read_only = read_only != 0;
        backup.original = fields[3];
        backup.copy = CopyPath(run_folder, backup.original, number);
        read.backups.push_back(std::move(backup));
        break;
      }
      case 'N':
        read.created.emplace_back(value);
        break;
      case 'S': {
        auto fields = Fields(value, 2);
        read.steps.push_back(std::string(fields.front()) + " " + std::string(fields.back()));
        break;
      }
      case 'E': {
        auto fields = Fields(value, 2);
        read.ended = true;
        read.result = fields[0];
        read.text = fields.size() > 1 ? fields[1] : std::string_view();
        break;
      }
      case 'U':
        read.undone = true;
        read.undone_at = value;
        break;
      default:
        break;
    }
  }
  if (!started || read.data_folder.empty()) return damaged();
  *manifest = std::move(read);
  return {};
}

Outcome MarkUndone(platform::FileSystem& fs, std::string_view run_folder) {
  const std::string path = std::string(run_folder) + "\\" + std::string(kRunManifest);
  Outcome why;
  auto text = ReadWholeFile(fs, path, &why);
  if (!text) return why;
  std::size_t last = text->rfind("\r\n");
  text->resize(last == std::string::npos ? 0 : last + 2);
  *text += "U " + TimeNow() + "\r\n";
  return ReplaceWholeFile(fs, path, std::string(run_folder) + "\\" + std::string(kManifestWork),
                          *text);
}

}  // namespace livrana
